// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The viewer's side of the conversation against a decoder helper that breaks it: each row
// starts hostile_decoder_helper with one way of misbehaving. A helper that cannot start is
// retried after ever longer pauses and named in the log once; one that breaks the
// conversation is replaced and the request fails; what the viewer took stays as it took it.

#include "future_result.h"
#include "picture/helper/decoder_client.h"
#include "picture/helper/helper_launcher.h"
#include "picture/picture_file.h"
#include "platform/runtime_error.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <optional>
#include <vector>

using namespace kavelora;
using picture::DecoderClient;
using picture::HelperLauncher;
using picture::LaunchedHelper;
using picture::PictureFile;
using picture::SpawningLauncher;
using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Starts the hostile helper, or any program, and keeps each process id it started.
class RecordingLauncher : public HelperLauncher
{
public:
    RecordingLauncher(const QString& program, const QString& behaviour, std::vector<pid_t>& started)
        : m_spawning(program, {behaviour})
        , m_started(started)
    {}
    LaunchedHelper launch() override
    {
        LaunchedHelper launched = m_spawning.launch();
        m_started.push_back(launched.process.pid());
        return launched;
    }

private:
    SpawningLauncher m_spawning;
    std::vector<pid_t>& m_started;
};

// The decoder's warnings the client logged since the test began; other messages go on.
QStringList decoderWarnings;
QtMessageHandler otherMessages = nullptr;

void keepDecoderWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && QByteArray(context.category) == "kavelora.decoder")
        decoderWarnings.append(text);
    else if (otherMessages)
        otherMessages(type, context, text);
}

// The error decode raised, or 0 when it gave a picture.
int errorOf(DecoderClient& client, const std::shared_ptr<PictureFile>& file,
            QImage* image = nullptr)
{
    try {
        picture::DecodeResult decoded = kavelora::tests::resultOf(client.decode(file, QSize(4, 4)));
        if (image)
            *image = decoded.image;
        return 0;
    } catch (const RuntimeError& error) {
        return error.number();
    }
}

struct MemfdMappings
{
    qint64 totalBytes = 0;
    qint64 largestBytes = 0;
};

// The memfd mappings in process pid's address space: the buffers it holds.
MemfdMappings memfdMappings(pid_t pid)
{
    MemfdMappings mappings;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return mappings;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        if (!line.contains("/memfd:"))
            continue;
        const QList<QByteArray> range = line.split(' ').value(0).split('-');
        const qint64 bytes =
            range.value(1).toLongLong(nullptr, 16) - range.value(0).toLongLong(nullptr, 16);
        mappings.totalBytes += bytes;
        mappings.largestBytes = std::max(mappings.largestBytes, bytes);
    }
    return mappings;
}

} // namespace

class TestHostileHelper : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void honestHelperGivesItsPicture();
    void helperEnvironmentIsCleared();
    void helperIsReplacedAfterItsShareOfRequests();
    void brokenConversationFailsAndReplaces_data();
    void brokenConversationFailsAndReplaces();
    void timeOutIsItsOwnError();
    void startFailureBacksOff_data();
    void startFailureBacksOff();
    void pixelsStayAsTaken();
    void pinnedBuffersStayBounded();

private:
    std::unique_ptr<DecoderClient>
    clientFor(const QString& behaviour, std::chrono::milliseconds limit = DecoderClient::kTimeLimit,
              const QString& program = QStringLiteral(KAVELORA_HOSTILE_HELPER));

    QTemporaryDir m_folder;
    std::shared_ptr<PictureFile> m_file;
    std::vector<pid_t> m_started;
};

void TestHostileHelper::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(KAVELORA_HOSTILE_HELPER)));
    QVERIFY(m_folder.isValid());
    // The hostile helper never reads it; the viewer only needs a regular file to hand over.
    const QString path = m_folder.filePath(QStringLiteral("any.png"));
    QVERIFY(tests::writeFile(path, QByteArray(64, 'x')));
    m_file = std::make_shared<PictureFile>(path);
}

void TestHostileHelper::init()
{
    m_started.clear();
    decoderWarnings.clear();
    otherMessages = qInstallMessageHandler(keepDecoderWarnings);
}

void TestHostileHelper::cleanup()
{
    qInstallMessageHandler(otherMessages);
}

std::unique_ptr<DecoderClient> TestHostileHelper::clientFor(const QString& behaviour,
                                                            std::chrono::milliseconds limit,
                                                            const QString& program)
{
    return std::make_unique<DecoderClient>(
        std::make_unique<RecordingLauncher>(program, behaviour, m_started), limit);
}

void TestHostileHelper::honestHelperGivesItsPicture()
{
    const auto client = clientFor(QStringLiteral("honest"));
    QImage image;
    QCOMPARE(errorOf(*client, m_file, &image), 0);
    QCOMPARE(image.size(), QSize(4, 4));
    QCOMPARE(image.pixel(3, 3), 0xffff0000U);
    QCOMPARE(errorOf(*client, m_file), 0);
    QCOMPARE(m_started.size(), 1U);
    QVERIFY(decoderWarnings.isEmpty());
}

void TestHostileHelper::helperIsReplacedAfterItsShareOfRequests()
{
    const auto client = clientFor(QStringLiteral("honest"));
    for (int request = 0; request < 2 * picture::HelperSupervisor::kRequestsPerHelper + 10;
         ++request)
        QCOMPARE(errorOf(*client, m_file), 0);
    // One replacement after each share, not one a request once the first share is served.
    QCOMPARE(m_started.size(), 3U);
}

void TestHostileHelper::helperEnvironmentIsCleared()
{
    qputenv("KAVELORA_TEST_SECRET", "kept from the helper");
    const auto client = clientFor(QStringLiteral("honest"));
    client->start();
    qunsetenv("KAVELORA_TEST_SECRET");
    QCOMPARE(m_started.size(), 1U);
    QFile environment(QStringLiteral("/proc/%1/environ").arg(m_started.front()));
    QVERIFY(environment.open(QIODevice::ReadOnly));
    const QByteArray variables = environment.readAll();
    QVERIFY(!variables.contains("KAVELORA_TEST_SECRET"));
    // Only a sanitizer's options, in sanitizer builds.
    for (const QByteArray& variable : variables.split('\0')) {
        if (!variable.isEmpty())
            QVERIFY2(variable.contains("SAN_OPTIONS="), variable.constData());
    }
}

void TestHostileHelper::brokenConversationFailsAndReplaces_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::newRow("reply naming a buffer it was not lent") << QStringLiteral("foreign-buffer");
    QTest::newRow("reply with the wrong id") << QStringLiteral("wrong-id");
    QTest::newRow("ready again, unasked, before its reply") << QStringLiteral("stray-ready");
    QTest::newRow("more buffers than a decode needs")
        << QStringLiteral("more-buffers-than-a-decode-needs");
}

void TestHostileHelper::brokenConversationFailsAndReplaces()
{
    QFETCH(QString, behaviour);
    const auto client = clientFor(behaviour);
    QCOMPARE(errorOf(*client, m_file), int(ErrorNumber::InvalidPicture));
    // Killed, and a fresh one in its place before the next request.
    QTRY_COMPARE(m_started.size(), 2U);
    QCOMPARE(errorOf(*client, m_file), int(ErrorNumber::InvalidPicture));
    QTRY_COMPARE(m_started.size(), 3U);
    QVERIFY(decoderWarnings.isEmpty());
}

void TestHostileHelper::timeOutIsItsOwnError()
{
    const auto client = clientFor(QStringLiteral("silent"), std::chrono::milliseconds(300));
    QCOMPARE(errorOf(*client, m_file), int(ErrorNumber::DeviceTimeout));
    QTRY_COMPARE(m_started.size(), 2U);
    QVERIFY(decoderWarnings.isEmpty());
}

void TestHostileHelper::startFailureBacksOff_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QString>("reason");
    const QString hostile = QStringLiteral(KAVELORA_HOSTILE_HELPER);
    QTest::newRow("missing helper binary")
        << m_folder.filePath(QStringLiteral("no-such-helper")) << QString()
        << QStringLiteral("No such file or directory");
    QTest::newRow("helper that exits at once")
        << hostile << QStringLiteral("exit-at-once") << QStringLiteral("status 0");
    QTest::newRow("helper that cannot lock itself")
        << hostile << QStringLiteral("cannot-lock") << QStringLiteral("cannot lock itself");
    QTest::newRow("the real helper where seccomp is forbidden")
        << QStringLiteral(KAVELORA_WITHOUT_SECCOMP) << QStringLiteral(KAVELORA_REAL_HELPER)
        << QStringLiteral("cannot lock itself (Operation not permitted)");
}

void TestHostileHelper::startFailureBacksOff()
{
    QFETCH(QString, program);
    QFETCH(QString, behaviour);
    QFETCH(QString, reason);
    QElapsedTimer elapsed;
    elapsed.start();
    const auto client = clientFor(behaviour, DecoderClient::kTimeLimit, program);
    client->start();
    // Opens keep failing, each as a run-time error of its own; the event loop runs the
    // restarts in between.
    for (int attempt = 0; attempt < 40; ++attempt) {
        QCOMPARE(errorOf(*client, m_file), int(ErrorNumber::DeviceUnavailable));
        QTest::qWait(30);
    }
    const double pauses = static_cast<double>(elapsed.elapsed()) /
                          static_cast<double>(picture::StartBackoff::kFirstDelay.count());
    // n failed starts take at least 0.1 s x (2^n - 1) of pauses.
    const auto mostStarts = static_cast<std::size_t>(2 + std::log2(1 + pauses));
    qInfo("%zu starts in %lld ms (at most %zu allowed)", m_started.size(), elapsed.elapsed(),
          mostStarts);
    QVERIFY(m_started.size() >= 2);
    QVERIFY(m_started.size() <= mostStarts);
    QCOMPARE(decoderWarnings.size(), 1);
    QVERIFY2(decoderWarnings.front().contains(reason), qPrintable(decoderWarnings.front()));
}

void TestHostileHelper::pixelsStayAsTaken()
{
    const auto client = clientFor(QStringLiteral("rewrite-after-reply"));
    QImage image;
    // It keeps the buffer mapped to write into it once the picture is shown: the viewer cannot
    // seal a buffer still mapped for writing, and takes nothing from it.
    QCOMPARE(errorOf(*client, m_file, &image), int(ErrorNumber::InvalidPicture));
    QVERIFY(image.isNull());
}

void TestHostileHelper::pinnedBuffersStayBounded()
{
    const auto client = clientFor(QStringLiteral("pin-buffers"));
    MemfdMappings most;
    for (int request = 0; request < 20; ++request) {
        errorOf(*client, m_file);
        for (pid_t helper : m_started) {
            const MemfdMappings held = memfdMappings(helper);
            most.totalBytes = std::max(most.totalBytes, held.totalBytes);
            most.largestBytes = std::max(most.largestBytes, held.largestBytes);
        }
    }
    qInfo("the helper held %lld bytes of lent buffers at most, the largest %lld bytes",
          most.totalBytes, most.largestBytes);
    // Twice the one picture in flight.
    QVERIFY(most.totalBytes <= 2 * most.largestBytes);
}

QTEST_GUILESS_MAIN(TestHostileHelper)
#include "tst_hostile_helper.moc"
