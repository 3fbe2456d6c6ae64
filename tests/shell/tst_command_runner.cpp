// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "modal_driver.h"
#include "platform/runtime_error.h"
#include "shell/command_runner.h"
#include "shell/error_policy.h"
#include "unexpected_warnings.h"

#include <QApplication>
#include <QPromise>
#include <QTest>
#include <QWidget>

#include <optional>

using namespace kavelora;
using platform::ErrorNumber;
using platform::RuntimeError;
using shell::CommandRunner;
using shell::Trap;

namespace {

enum class Ending { AtOnce, Later, RaisesAtOnce, FailsLater };

} // namespace

Q_DECLARE_METATYPE(Ending)

class TestCommandRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void oneCommandAtATime_data();
    void oneCommandAtATime();
    void failureGoesToItsReport();
    void windowGoneWhileWaiting();

private:
    std::unique_ptr<QWidget> m_window;
    std::optional<tests::ErrorMessageCatcher> m_errorMessages;
    int m_programEnded = 0;
};

void TestCommandRunner::init()
{
    tests::failOnUnexpectedWarnings();
    m_window = std::make_unique<QWidget>();
    m_window->setAcceptDrops(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_errorMessages.emplace();
    m_programEnded = 0;
}

void TestCommandRunner::cleanup()
{
    QCOMPARE(m_errorMessages->texts(), QStringList());
    m_errorMessages.reset();
    m_window.reset();
}

void TestCommandRunner::oneCommandAtATime_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<bool>("waits");

    QTest::newRow("command done in its first steps") << Ending::AtOnce << false;
    QTest::newRow("command that waits for a decode") << Ending::Later << true;
    QTest::newRow("command whose dialog was cancelled") << Ending::RaisesAtOnce << false;
    QTest::newRow("command whose decode fails") << Ending::FailsLater << true;
}

// A command asked for while another waits does not run, and the busy cursor shows and drops
// are refused only while one waits; once it has ended, the next one runs, whatever the first
// one's end.
void TestCommandRunner::oneCommandAtATime()
{
    QFETCH(Ending, ending);
    QFETCH(bool, waits);
    const shell::ErrorPolicy policy(m_window.get(), [this](int) { ++m_programEnded; });
    CommandRunner runner(*m_window, policy);
    QPromise<void> decode;
    int runs = 0;
    const auto command = [&]() -> QFuture<void> {
        ++runs;
        switch (ending) {
        case Ending::AtOnce:
            return QtFuture::makeReadyFuture();
        case Ending::RaisesAtOnce:
            throw RuntimeError(ErrorNumber::DialogCancelled);
        case Ending::Later:
        case Ending::FailsLater:
            break;
        }
        decode.start();
        return decode.future();
    };

    runner.run(Trap::Silent, command);
    QCOMPARE(runs, 1);
    QCOMPARE(runner.isRunning(), waits);
    QCOMPARE(m_window->cursor().shape(), waits ? Qt::BusyCursor : Qt::ArrowCursor);
    QCOMPARE(m_window->acceptDrops(), !waits);
    runner.run(Trap::Silent, command);
    QCOMPARE(runs, waits ? 1 : 2);

    if (waits) {
        if (ending == Ending::FailsLater)
            decode.setException(std::make_exception_ptr(RuntimeError(ErrorNumber::InvalidPicture)));
        decode.finish();
        QTRY_VERIFY(!runner.isRunning());
        QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(m_window->acceptDrops());
        runner.run(Trap::Silent, [&] {
            ++runs;
            return QtFuture::makeReadyFuture();
        });
        QCOMPARE(runs, 2);
    }
    QCOMPARE(m_programEnded, 0);
}

// The command-line open reports its failure itself; the silent trap hears nothing of it.
void TestCommandRunner::failureGoesToItsReport()
{
    const shell::ErrorPolicy policy(m_window.get(), [this](int) { ++m_programEnded; });
    CommandRunner runner(*m_window, policy);
    QPromise<void> decode;
    decode.start();
    std::optional<int> reported;
    runner.run(
        Trap::ReportAndEnd, [&] { return decode.future(); },
        [&](const RuntimeError& error) { reported = error.number(); });
    decode.setException(std::make_exception_ptr(RuntimeError(ErrorNumber::FileNotFound)));
    decode.finish();
    QTRY_VERIFY(reported.has_value());
    QCOMPARE(*reported, static_cast<int>(ErrorNumber::FileNotFound));
    QCOMPARE(m_programEnded, 0);
}

// The window closed while a command waits: its end comes to nothing, and nothing crashes.
void TestCommandRunner::windowGoneWhileWaiting()
{
    const shell::ErrorPolicy policy(m_window.get(), [this](int) { ++m_programEnded; });
    auto runner = std::make_unique<CommandRunner>(*m_window, policy);
    QPromise<void> decode;
    decode.start();
    runner->run(Trap::Silent, [&] { return decode.future(); });
    m_window.reset();
    runner.reset();
    decode.finish();
    QTest::qWait(20);
    QCOMPARE(m_programEnded, 0);
}

QTEST_MAIN(TestCommandRunner)
#include "tst_command_runner.moc"
