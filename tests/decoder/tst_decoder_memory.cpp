// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// What the viewer and its decoder helper keep between decodes: large decodes in a row, as
// printing several photos makes them, leave no pixel buffer mapped in the helper and none
// but the pictures still shown in the viewer, and an animation whose helper is replaced goes
// on without decoding its earlier frames again.

#include "future_result.h"
#include "picture/helper/decoder_client.h"
#include "picture/picture_file.h"
#include "picture_fixtures.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace kavelora;
using namespace kavelora::tests;
using picture::DecoderClient;
using picture::PictureFile;

namespace {

bool isGone(int process);

// The decoder helpers this process has started that still run.
QList<int> helperProcesses()
{
    QList<int> children;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task + QStringLiteral("/children")));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : file.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty() && !isGone(pid.trimmed().toInt()))
                children.append(pid.trimmed().toInt());
        }
    }
    return children;
}

// The pixel buffers mapped in a process, in bytes, and its resident memory in KiB.
struct Footprint
{
    qint64 pixelBufferBytes = 0;
    qint64 residentKiB = 0;
};

Footprint footprintOf(const QString& process)
{
    Footprint footprint;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(process));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n')) {
            if (!line.contains("kavelora-pixels"))
                continue;
            const QList<QByteArray> range = line.split(' ').first().split('-');
            footprint.pixelBufferBytes +=
                range.value(1).toLongLong(nullptr, 16) - range.value(0).toLongLong(nullptr, 16);
        }
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (status.open(QIODevice::ReadOnly)) {
        const QRegularExpression resident(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
        footprint.residentKiB =
            resident.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
    }
    return footprint;
}

bool isGone(int process)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray fields = stat.readAll();
    // The state follows the command's closing parenthesis: Z once the process has ended.
    return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

} // namespace

class TestDecoderMemory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // The real helper, installed beside the program, as the viewer starts it.
    DecoderClient m_client{picture::installedHelper()};

    QString largePng(int side)
    {
        QImage picture(side, side, QImage::Format_RGB32);
        picture.fill(qRgb(40, 90, 200));
        return writeFixture(m_dir.path(), QStringLiteral("large-%1.png").arg(side),
                            encoded(picture, "PNG"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_client.start();
        QTRY_VERIFY(!helperProcesses().isEmpty());
    }

    void fullSizeDecodesInARowLeaveNothingMapped_data()
    {
        QTest::addColumn<QList<int>>("sides");
        // 512 x 512 pixels of four bytes fill their buffer to the last byte.
        QTest::newRow("exactly filling its buffer") << QList<int>{512};
        QTest::newRow("growing, as printing large photos in a row")
            << QList<int>{2000, 3000, 4000, 5000};
    }

    void fullSizeDecodesInARowLeaveNothingMapped()
    {
        QFETCH(QList<int>, sides);
        DecoderClient& client = m_client;
        const Footprint viewerBefore = footprintOf(QStringLiteral("self"));
        for (const int side : sides) {
            auto file = std::make_shared<PictureFile>(largePng(side));
            const picture::DecodeResult decoded =
                kavelora::tests::resultOf(client.decode(file, QSize(side, side), QSize(64, 64)));
            QCOMPARE(decoded.image.size(), QSize(side, side));
            QCOMPARE(decoded.image.pixel(side - 1, side - 1), qRgb(40, 90, 200));
            // A small decode after it: the helper has finished with the large one.
            auto small = std::make_shared<PictureFile>(largePng(64));
            QCOMPARE(kavelora::tests::resultOf(client.decode(small, QSize(64, 64))).image.size(),
                     QSize(64, 64));
            const QList<int> helpers = helperProcesses();
            QCOMPARE(helpers.size(), 1);
            const Footprint helper = footprintOf(QString::number(helpers.first()));
            QCOMPARE(helper.pixelBufferBytes, 0);
            qInfo("after %d x %d: helper %lld KiB resident, viewer %lld KiB", side, side,
                  helper.residentKiB, footprintOf(QStringLiteral("self")).residentKiB);
        }
        // The decoded pictures are gone: so is their memory.
        QCOMPARE(footprintOf(QStringLiteral("self")).pixelBufferBytes,
                 viewerBefore.pixelBufferBytes);
    }

    void animationGoesOnFromItsFirstFrameWithANewHelper()
    {
        const QSize size(8, 8);
        const QList<QRgb> colours{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
        QList<QByteArray> frames;
        for (int index = 0; index < colours.size(); ++index)
            frames.append(QByteArray(size.width() * size.height(), static_cast<char>(index)));
        auto file = std::make_shared<PictureFile>(writeFixture(
            m_dir.path(), QStringLiteral("three.gif"), gifFile(size, colours, frames, 10)));
        DecoderClient& client = m_client;
        const std::uint32_t animation = client.newAnimation();
        for (int index = 0; index < 2; ++index) {
            const std::optional<picture::DecodeResult> frame =
                kavelora::tests::resultOf(client.frame(file, animation, index));
            QVERIFY(frame);
            QCOMPARE(frame->frameIndex, index);
            QCOMPARE(frame->image.pixel(0, 0), colours[index]);
        }

        const QList<int> helpers = helperProcesses();
        QCOMPARE(helpers.size(), 1);
        ::kill(helpers.first(), SIGKILL);
        QTRY_VERIFY(isGone(helpers.first()));
        // The new helper gives the first frame rather than decode the first two to reach the third.
        const std::optional<picture::DecodeResult> next =
            kavelora::tests::resultOf(client.frame(file, animation, 2));
        QVERIFY(next);
        QCOMPARE(next->frameIndex, 0);
        QCOMPARE(next->image.pixel(0, 0), colours[0]);
        const std::optional<picture::DecodeResult> after =
            kavelora::tests::resultOf(client.frame(file, animation, 1));
        QVERIFY(after);
        QCOMPARE(after->frameIndex, 1);
        QCOMPARE(after->image.pixel(0, 0), colours[1]);
    }
};

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    TestDecoderMemory test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_decoder_memory.moc"
