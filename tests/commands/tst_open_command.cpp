// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "commands/open_command.h"
#include "future_result.h"
#include "in_process_decoding.h"
#include "modal_driver.h"
#include "picture_fixtures.h"
#include "platform/common_dialog.h"
#include "platform/runtime_error.h"
#include "shell/error_policy.h"
#include "test_files.h"
#include "unexpected_warnings.h"
#include "window/form1.h"
#include "window/form_builder.h"
#include "window/image_box.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kavelora;
using namespace kavelora::tests;
using platform::ErrorNumber;

namespace {

// The dialog with a scripted outcome and a log of what the handler asked of it.
class ScriptedDialog : public platform::CommonDialog
{
public:
    std::optional<ErrorNumber> showOpenError;
    QString fileName;
    QStringList calls;

    void ShowOpen() override
    {
        calls << QStringLiteral("ShowOpen");
        if (showOpenError)
            throw platform::RuntimeError(*showOpenError);
    }
    void ShowPrinter() override { calls << QStringLiteral("ShowPrinter"); }
    QString FileName() const override
    {
        const_cast<ScriptedDialog*>(this)->calls << QStringLiteral("FileName");
        return fileName;
    }
};

enum class Outcome { Replaced, Kept, Cleared };

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kGreen = qRgb(0, 255, 0);

constexpr uid_t kNobodyId = 65534;
constexpr int kChildTimeoutMs = 60000;
constexpr int kChildCannotDropRoot = 3;

// Runs checks in a child process that has given up root, for whom file permissions count.
// Returns the child's exit status: 0 when its checks passed; -1 when it died or hung.
int runWithoutRoot(const std::function<void()>& checks)
{
    // Output still buffered would otherwise be written by both processes.
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyId) != 0 || ::setuid(kNobodyId) != 0 ||
            ::geteuid() == 0)
            ::_exit(kChildCannotDropRoot);
        checks();
        std::fflush(stdout);
        ::_exit(QTest::currentTestFailed() ? 1 : 0);
    }
    const QDeadlineTimer deadline(kChildTimeoutMs);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        QThread::msleep(20);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(std::optional<ErrorNumber>)

class TstOpenCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<window::Form1> m_form;
    std::shared_ptr<InProcessDecoding> m_decoding = inProcessDecoding();
    std::optional<ErrorMessageCatcher> m_errorMessages;

    // Runs the handler as the button does: inside the trapping error policy.
    bool clickOpen(ScriptedDialog& dialog)
    {
        const shell::ErrorPolicy policy(m_form.get(), [](int) { QFAIL("the program ended"); });
        return policy.run(shell::Trap::Silent,
                          [&] { resultOf(commands::Command1_Click(*m_form, dialog, m_decoding)); });
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        failOnUnexpectedWarnings();
        m_errorMessages.emplace();
        m_form = window::buildForm1();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QVERIFY(!m_form->Image1().picture().isEmpty());
    }

    void cleanup()
    {
        m_form.reset();
        QCOMPARE(m_errorMessages->texts(), QStringList());
        m_errorMessages.reset();
    }

    void handlesEachOutcome_data()
    {
        QTest::addColumn<std::optional<ErrorNumber>>("dialogError");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<Outcome>("outcome");

        const QByteArray bmp = encoded(
            twoHalves(QSize(64, 64), kRed, kBlue).convertToFormat(QImage::Format_RGB888), "BMP");
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.png"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0 || errno == EEXIST);
        const std::optional<ErrorNumber> shown;

        QTest::newRow("valid picture replaces the splash")
            << shown
            << writeFixture(m_dir.path(), QStringLiteral("valid.png"),
                            encoded(twoHalves(QSize(40, 10), kRed, kBlue), "PNG"))
            << Outcome::Replaced;
        QTest::newRow("not a picture keeps it")
            << shown
            << writeFixture(m_dir.path(), QStringLiteral("notes.png"),
                            QByteArray("just some words"))
            << Outcome::Kept;
        QTest::newRow("missing file keeps it")
            << shown << m_dir.filePath(QStringLiteral("gone.png")) << Outcome::Kept;
        QTest::newRow("unreadable file keeps it")
            << shown
            << writeFixture(m_dir.path(), QStringLiteral("locked.png"),
                            encoded(QImage(4, 4, QImage::Format_RGB32), "PNG"))
            << Outcome::Kept;
        QTest::newRow("folder keeps it") << shown << m_dir.path() << Outcome::Kept;
        QTest::newRow("fifo keeps it without blocking") << shown << fifo << Outcome::Kept;
        QTest::newRow("truncated bmp keeps it")
            << shown
            << writeFixture(m_dir.path(), QStringLiteral("truncated.bmp"), bmp.left(bmp.size() / 2))
            << Outcome::Kept;
        QTest::newRow("cancel keeps it")
            << std::optional(ErrorNumber::DialogCancelled) << QString() << Outcome::Kept;
        QTest::newRow("dialog that cannot be shown keeps it")
            << std::optional(ErrorNumber::DialogFailed) << QString() << Outcome::Kept;
        QTest::newRow("empty name clears the display") << shown << QString() << Outcome::Cleared;
    }

    void handlesEachOutcome()
    {
        QFETCH(std::optional<ErrorNumber>, dialogError);
        QFETCH(QString, fileName);
        QFETCH(Outcome, outcome);
        if (QByteArray(QTest::currentDataTag()).startsWith("unreadable")) {
            QVERIFY(QFile::setPermissions(fileName, {}));
            if (::geteuid() == 0) {
                // Root reads files whatever their permissions: load as nobody, who may pass
                // through the folder but not read the file.
                QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                                QFile::ExeOwner | QFile::ExeOther));
                QCOMPARE(runWithoutRoot([&] { clickAndCheck(dialogError, fileName, outcome); }), 0);
                return;
            }
        }
        clickAndCheck(dialogError, fileName, outcome);
    }

private:
    // Clicks the open button with the dialog scripted to raise dialogError or give fileName,
    // then checks the calls made and what Image1 shows against outcome.
    void clickAndCheck(std::optional<ErrorNumber> dialogError, const QString& fileName,
                       Outcome outcome)
    {
        ScriptedDialog dialog;
        dialog.showOpenError = dialogError;
        dialog.fileName = fileName;
        const picture::Picture before = m_form->Image1().picture();

        const bool succeeded = clickOpen(dialog);

        QCOMPARE(succeeded, outcome != Outcome::Kept);
        const QStringList expectedCalls =
            dialogError ? QStringList{QStringLiteral("ShowOpen")}
                        : QStringList{QStringLiteral("ShowOpen"), QStringLiteral("FileName")};
        QCOMPARE(dialog.calls, expectedCalls);
        const picture::Picture after = m_form->Image1().picture();
        switch (outcome) {
        case Outcome::Kept:
            QCOMPARE(after.screenImage().cacheKey(), before.screenImage().cacheKey());
            break;
        case Outcome::Cleared:
            QVERIFY(after.isEmpty());
            break;
        case Outcome::Replaced:
            QVERIFY(after.screenImage().cacheKey() != before.screenImage().cacheKey());
            QCOMPARE(after.source().fileName, fileName);
            break;
        }
    }

private Q_SLOTS:
    void pictureIsStretchedToTheBox()
    {
        // A 4:1 picture in a box of other proportions fills it edge to edge.
        ScriptedDialog dialog;
        dialog.fileName = writeFixture(m_dir.path(), QStringLiteral("wide.png"),
                                       encoded(twoHalves(QSize(40, 10), kRed, kBlue), "PNG"));
        QVERIFY(clickOpen(dialog));
        window::ImageBox& box = m_form->Image1();
        QVERIFY(box.width() * 10 != box.height() * 40);
        const QImage shown = box.grab().toImage();
        QCOMPARE(shown.size(), box.size() * box.devicePixelRatioF());
        QCOMPARE(shown.pixel(2, 2), kRed);
        QCOMPARE(shown.pixel(2, shown.height() - 3), kRed);
        QCOMPARE(shown.pixel(shown.width() - 3, 2), kBlue);
        QCOMPARE(shown.pixel(shown.width() - 3, shown.height() - 3), kBlue);
    }

    void emptyNameShowsTheWindowBehind()
    {
        ScriptedDialog dialog;
        QVERIFY(clickOpen(dialog));
        const QRect area = m_form->Image1().geometry();
        const QImage shown = m_form->grab(area).toImage();
        QCOMPARE(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)),
                 m_form->palette().color(QPalette::Window));
    }

    void reopeningReadsTheFileAgain()
    {
        ScriptedDialog dialog;
        dialog.fileName = writeFixture(m_dir.path(), QStringLiteral("changing.png"),
                                       encoded(twoHalves(QSize(8, 8), kRed, kRed), "PNG"));
        QVERIFY(clickOpen(dialog));
        QCOMPARE(m_form->Image1().picture().screenImage().pixel(4, 4), kRed);

        writeFixture(m_dir.path(), QStringLiteral("changing.png"),
                     encoded(twoHalves(QSize(8, 8), kGreen, kGreen), "PNG"));
        QVERIFY(clickOpen(dialog));
        QCOMPARE(m_form->Image1().picture().screenImage().pixel(4, 4), kGreen);
    }
};

QTEST_MAIN(TstOpenCommand)
#include "tst_open_command.moc"
