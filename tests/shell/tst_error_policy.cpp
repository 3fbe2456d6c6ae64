// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "modal_driver.h"
#include "platform/runtime_error.h"
#include "shell/error_policy.h"
#include "unexpected_warnings.h"
#include "window/form1.h"
#include "window/form_builder.h"
#include "window/image_box.h"

#include <QApplication>
#include <QTest>

using namespace kavelora;
using platform::ErrorNumber;
using platform::RuntimeError;
using shell::ErrorPolicy;
using shell::Trap;

class TestErrorPolicy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void handlerOutcome_data();
    void handlerOutcome();
    void trappedErrorLeavesWindowUnchanged();

private:
    std::unique_ptr<window::Form1> m_form;
};

void TestErrorPolicy::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Kavelora"));
    m_form = window::buildForm1();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestErrorPolicy::init()
{
    tests::failOnUnexpectedWarnings();
}

void TestErrorPolicy::handlerOutcome_data()
{
    QTest::addColumn<bool>("trapped");
    QTest::addColumn<int>("raised"); // 0: the handler returns normally; -1: std::bad_alloc
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("message"); // empty: no message may show
    QTest::addColumn<int>("exitStatus");  // -1: the program must not end

    QTest::newRow("trapped handler without error") << true << 0 << true << QString() << -1;
    QTest::newRow("untrapped handler without error") << false << 0 << true << QString() << -1;
    QTest::newRow("trapped cancel ends silently")
        << true << int(ErrorNumber::DialogCancelled) << false << QString() << -1;
    QTest::newRow("trapped invalid picture ends silently")
        << true << int(ErrorNumber::InvalidPicture) << false << QString() << -1;
    QTest::newRow("trapped out of memory ends silently") << true << -1 << false << QString() << -1;
    QTest::newRow("trapped time-out ends silently")
        << true << int(ErrorNumber::DeviceTimeout) << false << QString() << -1;
    QTest::newRow("trapped helper unavailable ends silently")
        << true << int(ErrorNumber::DeviceUnavailable) << false << QString() << -1;
    QTest::newRow("untrapped time-out is reported as error 24")
        << false << int(ErrorNumber::DeviceTimeout) << false
        << QStringLiteral("実行時エラー '24':\n\nデバイスがタイムアウトしました。") << 1;
    QTest::newRow("untrapped helper unavailable is reported as error 68")
        << false << int(ErrorNumber::DeviceUnavailable) << false
        << QStringLiteral("実行時エラー '68':\n\nデバイスが準備されていません。") << 1;
    QTest::newRow("untrapped error shows the Japanese message and ends")
        << false << int(ErrorNumber::FileNotFound) << false
        << QStringLiteral("実行時エラー '53':\n\nファイルが見つかりません。") << 1;
    QTest::newRow("untrapped out of memory is reported as error 7")
        << false << -1 << false << QStringLiteral("実行時エラー '7':\n\nメモリが不足しています。")
        << 1;
}

void TestErrorPolicy::handlerOutcome()
{
    QFETCH(bool, trapped);
    const Trap trap = trapped ? Trap::Silent : Trap::ReportAndEnd;
    QFETCH(int, raised);
    QFETCH(bool, succeeded);
    QFETCH(QString, message);
    QFETCH(int, exitStatus);

    int endedWith = -1;
    const ErrorPolicy policy(m_form.get(), [&endedWith](int status) { endedWith = status; });
    const tests::ErrorMessageCatcher messages;
    bool handlerRan = false;
    const bool result = policy.run(trap, [&] {
        handlerRan = true;
        if (raised == -1)
            throw std::bad_alloc();
        if (raised != 0)
            throw RuntimeError(static_cast<ErrorNumber>(raised));
    });

    QVERIFY(handlerRan);
    QCOMPARE(result, succeeded);
    QCOMPARE(endedWith, exitStatus);
    if (message.isEmpty()) {
        QVERIFY(messages.texts().isEmpty());
    } else {
        QCOMPARE(messages.texts(), QStringList{message});
        QCOMPARE(messages.titles(), QStringList{QStringLiteral("Kavelora")});
    }
}

void TestErrorPolicy::trappedErrorLeavesWindowUnchanged()
{
    const QImage before = m_form->grab().toImage();
    const auto pictureBefore = m_form->Image1().picture();
    const ErrorPolicy policy(m_form.get(), [](int) { QFAIL("a trapped error must not end"); });
    const tests::ErrorMessageCatcher messages;
    QVERIFY(!policy.run(Trap::Silent, [] { throw RuntimeError(ErrorNumber::PrinterError); }));
    QVERIFY(m_form->isVisible());
    // The very picture held before: the same screen copy, not a copy of it.
    QCOMPARE(m_form->Image1().picture().screenImage().cacheKey(),
             pictureBefore.screenImage().cacheKey());
    QCOMPARE(m_form->grab().toImage(), before);
    QVERIFY(messages.texts().isEmpty());
}

QTEST_MAIN(TestErrorPolicy)
#include "tst_error_policy.moc"
