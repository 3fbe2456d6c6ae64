// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/command_runner.h"
#include "unexpected_warnings.h"
#include "window/command_button.h"
#include "window/dropped_picture_file.h"
#include "window/form1.h"
#include "window/form_builder.h"
#include "window/image_box.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPromise>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QWindow>

#include <memory>
#include <optional>

using namespace kavelora;
using window::Form1;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QByteArray kPictureUri = "file:///tmp/green.png\r\n";

std::unique_ptr<QMimeData> uriList(const QByteArray& list)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), list);
    return data;
}

std::unique_ptr<QMimeData> plainText(const QString& text)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

} // namespace

class TestWindowDrop : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void droppedPictureFile_data();
    void droppedPictureFile();
    void dragOverTheWindow_data();
    void dragOverTheWindow();
    void dropSendsTheFileNameAfterTheDrop();
    void refusedDropSendsNothing();
    void busyWindowRefusesDrags();

private:
    // Sent to the window's native side, as the platform sends them, so that the drag reaches
    // whichever widget is under point.
    bool enterAt(QPoint point, const QMimeData& data,
                 Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction,
                 Qt::DropAction* chosen = nullptr);
    bool dropAt(QPoint point, const QMimeData& data);
    void leave();

    std::unique_ptr<Form1> m_form;
};

void TestWindowDrop::init()
{
    tests::failOnUnexpectedWarnings();
    m_form = window::buildForm1();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestWindowDrop::cleanup()
{
    m_form.reset();
}

void TestWindowDrop::droppedPictureFile_data()
{
    QTest::addColumn<QByteArray>("uriList");
    QTest::addColumn<std::optional<QString>>("expected");
    const std::optional<QString> none;
    const QString thisMachine = QSysInfo::machineHostName();

    QTest::newRow("local file") << kPictureUri << std::optional(QStringLiteral("/tmp/green.png"));
    QTest::newRow("several files: the first") << QByteArray("file:///a/first.png\r\n"
                                                            "file:///b/second.png\r\n")
                                              << std::optional(QStringLiteral("/a/first.png"));
    QTest::newRow("comment line before the file")
        << QByteArray("# from a file manager\r\nfile:///a/first.png\r\n")
        << std::optional(QStringLiteral("/a/first.png"));
    QTest::newRow("remote URL first, then a local file")
        << QByteArray("https://example.org/green.png\r\nfile:///tmp/green.png\r\n") << none;
    QTest::newRow("remote URL only") << QByteArray("sftp://example.org/green.png\r\n") << none;
    QTest::newRow("empty list") << QByteArray() << none;
    QTest::newRow("folder") << QByteArray("file:///home/user/Pictures/\r\n") << none;
    QTest::newRow("spaces and Japanese characters")
        << QUrl::fromLocalFile(QStringLiteral("/tmp/夏の 写真/海 と 空.png")).toEncoded()
        << std::optional(QStringLiteral("/tmp/夏の 写真/海 と 空.png"));
    QTest::newRow("percent-encoded") << QByteArray("file:///tmp/a%20b%E5%86%99%25.png")
                                     << std::optional(QStringLiteral("/tmp/a b写%.png"));
    QTest::newRow("percent-encoded NUL cutting the name short")
        << QByteArray("file:///tmp/green.png%00.txt") << none;
    QTest::newRow("localhost") << QByteArray("file://localhost/tmp/green.png")
                               << std::optional(QStringLiteral("/tmp/green.png"));
    QTest::newRow("this machine by name")
        << (QByteArrayLiteral("file://") + thisMachine.toUtf8() + "/tmp/green.png")
        << std::optional(QStringLiteral("/tmp/green.png"));
    QTest::newRow("another machine")
        << QByteArray("file://elsewhere.invalid/tmp/green.png") << none;
    QTest::newRow("relative file URL") << QByteArray("file:green.png") << none;
}

void TestWindowDrop::droppedPictureFile()
{
    QFETCH(QByteArray, uriList);
    QFETCH(std::optional<QString>, expected);
    QCOMPARE(window::droppedPictureFile(*::uriList(uriList)), expected);
}

void TestWindowDrop::dragOverTheWindow_data()
{
    QTest::addColumn<QString>("over");
    QTest::addColumn<bool>("fileNotText");
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<Qt::DropAction>("chosen");
    const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;

    for (const char* over : {"Image1", "Command1", "Label1", "Form1"}) {
        QTest::addRow("file over %s", over)
            << QString::fromLatin1(over) << true << copyOrMove << true << Qt::CopyAction;
        QTest::addRow("text over %s", over)
            << QString::fromLatin1(over) << false << copyOrMove << false << Qt::CopyAction;
    }
    QTest::newRow("file offered only as a move")
        << QStringLiteral("Image1") << true << Qt::DropActions(Qt::MoveAction) << false
        << Qt::MoveAction;
    QTest::newRow("file offered only as a link")
        << QStringLiteral("Image1") << true << Qt::DropActions(Qt::LinkAction) << true
        << Qt::LinkAction;
}

void TestWindowDrop::dragOverTheWindow()
{
    QFETCH(QString, over);
    QFETCH(bool, fileNotText);
    QFETCH(Qt::DropActions, offered);
    QFETCH(bool, accepted);
    QFETCH(Qt::DropAction, chosen);

    QWidget* target = over == QStringLiteral("Form1")
                          ? m_form.get()
                          : m_form->findChild<QWidget*>(over, Qt::FindDirectChildrenOnly);
    QVERIFY(target);
    // The form's own background: its top-right corner, clear of every control.
    const QPoint point =
        target == m_form.get() ? QPoint(m_form->width() - 2, 2) : target->geometry().center();
    if (target == m_form.get())
        QCOMPARE(m_form->childAt(point), nullptr);

    const auto data = fileNotText ? uriList(kPictureUri) : plainText(QStringLiteral("/tmp/x.png"));
    Qt::DropAction action = Qt::IgnoreAction;
    QCOMPARE(enterAt(point, *data, offered, &action), accepted);
    if (accepted)
        QCOMPARE(action, chosen);
    leave();
}

void TestWindowDrop::dropSendsTheFileNameAfterTheDrop()
{
    QSignalSpy dropped(m_form.get(), &Form1::FileDropped);
    const QPoint point = m_form->Image1().geometry().center();
    const auto data = uriList("file:///tmp/%E6%B5%B7.png\r\nfile:///tmp/other.png\r\n");
    QVERIFY(enterAt(point, *data));
    QVERIFY(dropAt(point, *data));
    // Not inside the drop: the source is still waiting for the drop to end then.
    QCOMPARE(dropped.count(), 0);
    QTRY_COMPARE(dropped.count(), 1);
    QCOMPARE(dropped.first().first().toString(), QStringLiteral("/tmp/海.png"));
}

void TestWindowDrop::refusedDropSendsNothing()
{
    QSignalSpy dropped(m_form.get(), &Form1::FileDropped);
    const QPoint point = m_form->Image1().geometry().center();
    const auto text = plainText(QStringLiteral("file:///tmp/green.png"));
    QVERIFY(!enterAt(point, *text));
    QVERIFY(!dropAt(point, *text));
    QTest::qWait(50);
    QCOMPARE(dropped.count(), 0);
}

// One command at a time: while one waits on a decode, a drag is refused, not taken and dropped.
void TestWindowDrop::busyWindowRefusesDrags()
{
    const QPoint point = m_form->Image1().geometry().center();
    const auto data = uriList(kPictureUri);
    const shell::ErrorPolicy policy(m_form.get(), [](int) { QFAIL("the program ended"); });
    shell::CommandRunner runner(*m_form, policy);
    QPromise<void> decode;
    decode.start();
    runner.run(shell::Trap::Silent, [&] { return decode.future(); });
    QVERIFY(!enterAt(point, *data));
    leave();
    decode.finish();
    QTRY_VERIFY(!runner.isRunning());
    QVERIFY(enterAt(point, *data));
    leave();
}

bool TestWindowDrop::enterAt(QPoint point, const QMimeData& data, Qt::DropActions offered,
                             Qt::DropAction* chosen)
{
    QDragEnterEvent enter(point, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form->windowHandle(), &enter);
    if (chosen)
        *chosen = enter.dropAction();
    return enter.isAccepted();
}

bool TestWindowDrop::dropAt(QPoint point, const QMimeData& data)
{
    QDropEvent drop(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_form->windowHandle(), &drop);
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

void TestWindowDrop::leave()
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(m_form->windowHandle(), &leave);
}

QTEST_MAIN(TestWindowDrop)
#include "tst_window_drop.moc"
