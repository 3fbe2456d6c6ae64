// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The start routine end to end in this process: it makes its own application, so every case
// arms a timer that ends an event loop left running, and a broken start fails in seconds.

#include "modal_driver.h"
#include "platform/runtime_error.h"
#include "shell/error_policy.h"
#include "shell/start.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/image_box.h"
#include "window/window_description.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>

namespace kavelora::tests {

namespace {

constexpr int kLoopRanStatus = 99;
constexpr int kLoopBoundMs = 5000;

// Makes the first resize of the control it watches fail, so that the Resize handler raises.
class FailingResize : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && !m_failed) {
            m_failed = true;
            throw platform::RuntimeError(platform::ErrorNumber::OutOfMemory);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_failed = false;
};

// Ends any event loop that is still running kLoopBoundMs from now with kLoopRanStatus.
void boundTheEventLoop()
{
    QTimer::singleShot(kLoopBoundMs, qApp, [] { QCoreApplication::exit(kLoopRanStatus); });
}

} // namespace

class TestStart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void untrappedErrorBeforeTheLoopEndsAtOnce();
    void exitButtonEndsTheLoop();
};

void TestStart::untrappedErrorBeforeTheLoopEndsAtOnce()
{
    FailingResize failingResize;
    QStringList messages;
    const int status = shell::start("tst_start", {}, [&](window::Form1& form, const auto&) {
        boundTheEventLoop();
        const ErrorMessageCatcher catcher;
        // Shown early so that the layout's resizes reach the picture area at once.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        platform::TwipsRect narrowed = form.controlRect(window::ControlId::Image1);
        narrowed.width = narrowed.width - platform::Twips{600};
        form.setControlRect(window::ControlId::Image1, narrowed);
        form.Image1().installEventFilter(&failingResize);
        Q_EMIT form.Resize();
        messages = catcher.texts();
    });

    QCOMPARE(status, shell::ErrorPolicy::kUntrappedErrorExitStatus);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.constFirst().contains(QStringLiteral("'7'")),
             qPrintable(messages.constFirst()));
}

void TestStart::exitButtonEndsTheLoop()
{
    // Without an error the loop runs until the window is unloaded, and the status is 0.
    const int status = shell::start("tst_start", {}, [](window::Form1& form, const auto&) {
        boundTheEventLoop();
        QTimer::singleShot(0, &form, [&form] { form.Command2().click(); });
    });
    QCOMPARE(status, 0);
}

} // namespace kavelora::tests

QTEST_APPLESS_MAIN(kavelora::tests::TestStart)
#include "tst_start.moc"
