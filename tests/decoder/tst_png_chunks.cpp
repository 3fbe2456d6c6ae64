// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The PNG chunk walker that the reader, its image data and the head check share: each
// header, length, data and CRC checked, a chunk claiming more than the file refused before
// anything is allocated for it, and the head check's verdicts on the first bytes of a file.

#include "decoder/formats/png/png_chunks.h"
#include "picture_fixtures.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

using namespace kavelora;
using namespace kavelora::tests;
using decoder::HeadCheck;
using decoder::PngChunkWalker;
using decoder::PngFault;

namespace {

const QSize kSize(64, 48);

// Qt's PNG with only its critical chunks: IHDR, IDAT, IEND.
QByteArray plainPng()
{
    QByteArray png = encoded(twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255)), "PNG");
    qsizetype at = 8;
    while (at + 8 <= png.size()) {
        const auto length = qFromBigEndian<quint32>(png.constData() + at);
        const qsizetype chunkBytes = 12 + static_cast<qsizetype>(length);
        if ((png[at + 4] & 0x20) != 0)
            png.remove(at, chunkBytes);
        else
            at += chunkBytes;
    }
    return png;
}

qsizetype imageDataAt(const QByteArray& png)
{
    return png.indexOf("IDAT") - 4;
}

QByteArray textChunk(int length)
{
    return pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(length - 8, 'x'));
}

// A chunk header claiming length bytes, with nothing after it.
QByteArray chunkHeader(quint32 length, const char* type)
{
    QByteArray header(4, '\0');
    for (int i = 0; i < 4; ++i)
        header[i] = static_cast<char>(length >> (24 - 8 * i));
    return header + type;
}

QByteArray withChunkBeforeImageData(const QByteArray& png, const QByteArray& chunk)
{
    const qsizetype at = imageDataAt(png);
    return png.left(at) + chunk + png.mid(at);
}

QString faultName(PngFault fault)
{
    switch (fault) {
    case PngFault::None:
        return QStringLiteral("ok");
    case PngFault::TooShort:
        return QStringLiteral("short");
    case PngFault::Corrupt:
        return QStringLiteral("corrupt");
    case PngFault::WrongCrc:
        return QStringLiteral("wrong crc");
    case PngFault::RowRefused:
        break;
    }
    return QStringLiteral("?");
}

// Each chunk the walker meets, "type fault", up to the first fault; "end" when the chunks
// run out. A chunk reaching past the file is named so and not read.
QString walkLog(QByteArray png)
{
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(8);
    PngChunkWalker chunks(buffer, png.size());
    QStringList log;
    for (;;) {
        const PngFault header = chunks.next();
        if (header == PngFault::TooShort) {
            log.append(QStringLiteral("end"));
            break;
        }
        const QString type = QString::fromLatin1(chunks.chunk().typeBytes());
        if (header != PngFault::None) {
            log.append(type + u' ' + faultName(header));
            break;
        }
        if (!chunks.fitsFile()) {
            log.append(type + QStringLiteral(" past the file"));
            break;
        }
        const PngFault fault = chunks.finishChunk();
        log.append(type + u' ' + faultName(fault));
        if (fault != PngFault::None)
            break;
    }
    return log.join(QStringLiteral(", "));
}

} // namespace

class TstPngChunks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray png = plainPng();
        QVERIFY(png.startsWith("\x89PNG\r\n\x1A\n"));
        QCOMPARE(png.count("IDAT"), 1);
        QCOMPARE(png.indexOf("IHDR"), 12);
        QCOMPARE(png.indexOf("IDAT"), 8 + 25 + 4);
    }

    void walksChunks_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<QString>("log");
        const QByteArray png = plainPng();
        const qsizetype data = imageDataAt(png);
        QByteArray wrongCrc = png;
        wrongCrc[data - 1] = static_cast<char>(wrongCrc[data - 1] ^ 1);
        QByteArray wrongTextCrc = withChunkBeforeImageData(png, textChunk(100));
        wrongTextCrc[data + 8 + 50] = 'y';

        QTest::newRow("whole file") << png << "IHDR ok, IDAT ok, IEND ok, end";
        QTest::newRow("a text chunk before the image data")
            << withChunkBeforeImageData(png, textChunk(100))
            << "IHDR ok, tEXt ok, IDAT ok, IEND ok, end";
        QTest::newRow("header's CRC wrong") << wrongCrc << "IHDR wrong crc";
        QTest::newRow("text chunk's data changed") << wrongTextCrc << "IHDR ok, tEXt wrong crc";
        QTest::newRow("cut inside the image data")
            << png.left(data + 20) << "IHDR ok, IDAT past the file";
        QTest::newRow("cut inside a chunk header") << png.left(data + 5) << "IHDR ok, end";
        QTest::newRow("a length past 2^31 - 1")
            << png.left(data) + chunkHeader(0x80000000u, "tEXt") << "IHDR ok, tEXt corrupt";
        QTest::newRow("a chunk claiming more than the file")
            << png.left(data) + chunkHeader(1000, "tEXt") + "Comment"
            << "IHDR ok, tEXt past the file";
        QTest::newRow("end chunk missing its CRC")
            << png.chopped(4) << "IHDR ok, IDAT ok, IEND past the file";
    }

    void walksChunks()
    {
        QFETCH(QByteArray, png);
        QFETCH(QString, log);
        QCOMPARE(walkLog(png), log);
    }

    // A large file is checked from its first bytes and its size, and read whole only when
    // its chunks run past them before the image data.
    void checksTheHead_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<HeadCheck>("expected");
        const QByteArray png = plainPng();
        const qsizetype data = imageDataAt(png);
        const QByteArray withText = withChunkBeforeImageData(png, textChunk(4000));
        const QByteArray lyingText = png.left(data) + chunkHeader(1 << 20, "tEXt") + "Comment";
        const QByteArray endFirst = png.left(data) + pngChunk("IEND", {});

        QTest::newRow("image data within the head")
            << png.left(data + 8) << qint64(10'000'000) << HeadCheck::Passes;
        QTest::newRow("a text chunk running past the head")
            << withText.left(data + 100) << qint64(withText.size()) << HeadCheck::NeedsWholeFile;
        QTest::newRow("the whole file with that text chunk")
            << withText << qint64(withText.size()) << HeadCheck::Passes;
        QTest::newRow("a chunk claiming 1 MiB of a smaller file")
            << lyingText << qint64(lyingText.size() + 1000) << HeadCheck::Fails;
        QTest::newRow("a chunk claiming 1 MiB of a larger file")
            << lyingText << qint64(2'000'000) << HeadCheck::NeedsWholeFile;
        QTest::newRow("a chunk ending at the file's end")
            << png.left(data) << qint64(data) << HeadCheck::Passes;
        QTest::newRow("a chunk ending a byte past the file's end")
            << png.left(data) << qint64(data - 1) << HeadCheck::Fails;
        QTest::newRow("a length past 2^31 - 1") << png.left(data) + chunkHeader(0x80000000u, "tEXt")
                                                << qint64(10'000) << HeadCheck::Fails;
        QTest::newRow("image data claiming more than the file")
            << png.left(data) + chunkHeader(1 << 20, "IDAT") << qint64(data + 100)
            << HeadCheck::Passes;
        QTest::newRow("image data with a length past 2^31 - 1")
            << png.left(data) + chunkHeader(0x80000000u, "IDAT") << qint64(10'000)
            << HeadCheck::Fails;
        QTest::newRow("end chunk before the image data")
            << endFirst << qint64(10'000'000) << HeadCheck::Passes;
        QTest::newRow("a type that is not letters, walked past")
            << withChunkBeforeImageData(png, pngChunk("t3Xt", "x")).left(data + 13 + 8)
            << qint64(10'000'000) << HeadCheck::Passes;
        QTest::newRow("cut inside a chunk header, the whole file")
            << png.left(data + 5) << qint64(data + 5) << HeadCheck::Passes;
        QTest::newRow("cut inside a chunk header, the file longer")
            << png.left(data + 5) << qint64(data + 500) << HeadCheck::NeedsWholeFile;
        QTest::newRow("shorter than the signature")
            << png.left(5) << qint64(5) << HeadCheck::Passes;
    }

    void checksTheHead()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, fileSize);
        QFETCH(HeadCheck, expected);
        QCOMPARE(decoder::pngHeadCheck(head, fileSize), expected);
    }
};

QTEST_APPLESS_MAIN(TstPngChunks)
#include "tst_png_chunks.moc"
