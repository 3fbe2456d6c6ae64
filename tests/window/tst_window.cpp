// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "in_process_decoding.h"
#include "platform/japanese_ui.h"
#include "shell/program.h"
#include "unexpected_warnings.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/form_builder.h"
#include "window/image_box.h"
#include "window/window_description.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextLayout>

using namespace kavelora;
using window::ControlId;
using window::Form1;

namespace {

const QColor kPink(255, 192, 192);
const QColor kCyan(192, 255, 255);

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void windowSettings();
    void controlGeometry_data();
    void controlGeometry();
    void captions_data();
    void captions();
    void labelFontAndSize();
    void captionsKeepTheDefaultFace();
    void pixelSamples();
    void tabOrderAndFocus();
    void keyboardClicks_data();
    void keyboardClicks();
    void buttonsDrawnAboveLabelAndPicture();
    void layoutFollowsResize();
    void minimizeLeavesLayoutAlone();
    void exitButtonClosesWindow();

private:
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<shell::Program> m_program;
    int m_endedWith = -1;
    QString m_platformFace;
};

void TestWindow::initTestCase()
{
    platform::installJapaneseFontSubstitutes();
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    m_platformFace = QFontInfo(QGuiApplication::font()).family();
    QVERIFY(!m_platformFace.isEmpty());
}

void TestWindow::init()
{
    tests::failOnUnexpectedWarnings();
    m_program.reset();
    m_form = window::buildForm1();
    m_program = std::make_unique<shell::Program>(*m_form, tests::inProcessDecoding(),
                                                 [this](int status) { m_endedWith = status; });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestWindow::windowSettings()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Kavelora Ver1.0"));
    QCOMPARE(m_form->size(), QSize(495, 564));
    QCOMPARE(m_form->WindowState(), Form1::Normal);
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(m_form->minimumSize(), QSize(0, 0));
    QVERIFY(m_form->findChildren<QMenuBar*>().isEmpty());
    QVERIFY(m_form->findChildren<QStatusBar*>().isEmpty());
    QVERIFY(!m_form->windowIcon().isNull());
    QCOMPARE(m_form->windowIcon().availableSizes().value(0), QSize(32, 32));

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // The frame's size is unknown until the window shows, so the client area is centred.
    const QPoint offCentre = m_form->frameGeometry().center() - available.center();
    QVERIFY2(offCentre.manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
}

void TestWindow::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");

    // After the first layout pass: Image1 7125 x 7460 twips, buttons at top 7960.
    QTest::newRow("open button") << "Command1" << QRect(24, 531, 81, 33);
    QTest::newRow("print button") << "Command3" << QRect(112, 531, 81, 33);
    QTest::newRow("exit button") << "Command2" << QRect(200, 531, 81, 33);
    QTest::newRow("picture area") << "Image1" << QRect(8, 32, 475, 497);
}

void TestWindow::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    auto* control = m_form->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
}

void TestWindow::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("open") << "Command1" << QStringLiteral("開　く");
    QTest::newRow("exit") << "Command2" << QStringLiteral("終　了");
    QTest::newRow("print") << "Command3" << QStringLiteral("印　刷");
}

void TestWindow::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    auto* button = m_form->findChild<window::CommandButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->text().at(1), QChar(0x3000));
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
    const QImage face = button->grab().toImage();
    QCOMPARE(face.pixelColor(6, face.height() / 2), kCyan);
}

void TestWindow::labelFontAndSize()
{
    QLabel& label = m_form->Label1();
    QVERIFY(label.text().startsWith(QStringLiteral("ワハハハ・・・")));
    QVERIFY(label.text().contains(QStringLiteral("Ternwick")));
    QVERIFY(label.text().endsWith(QStringLiteral("\r\n")));
    QCOMPARE(label.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(label.font().pointSizeF(), 9.75);
    QCOMPARE(label.font().weight(), QFont::Bold);
    QVERIFY(!label.font().italic() && !label.font().underline() && !label.font().strikeOut());
    QCOMPARE(QFontInfo(label.font()).family(), QStringLiteral("IPAPGothic"));
    QCOMPARE(label.focusPolicy(), Qt::NoFocus);

    // Sized to its text: the notice line and the empty line below it.
    QCOMPARE(label.pos(), QPoint(48, 8));
    const QFontMetrics metrics(label.font());
    QVERIFY2(label.height() >= 2 * metrics.height() - 1,
             qPrintable(QString::number(label.height())));
    QVERIFY(label.height() <= 2 * metrics.lineSpacing() + 2);
    QVERIFY(label.width() >= metrics.horizontalAdvance(label.text().trimmed()));
    QCOMPARE(m_form->controlRect(ControlId::Label1).left.value, 720.f);
}

// The buttons carry no font of their own: their captions keep the platform's face for what it
// covers, and take Japanese from the label's gothic face rather than loading another one.
void TestWindow::captionsKeepTheDefaultFace()
{
    const QString labelFace = QFontInfo(m_form->Label1().font()).family();
    for (window::CommandButton* button :
         {&m_form->Command1(), &m_form->Command2(), &m_form->Command3()}) {
        QCOMPARE(QFontInfo(button->font()).family(), m_platformFace);
        QTextLayout caption(button->text(), button->font());
        caption.beginLayout();
        caption.createLine();
        caption.endLayout();
        const QList<QGlyphRun> runs = caption.glyphRuns();
        QVERIFY(!runs.isEmpty());
        for (const QGlyphRun& run : runs)
            QCOMPARE(run.rawFont().familyName(), labelFace);
    }
}

void TestWindow::pixelSamples()
{
    const QImage shot = m_form->grab().toImage();
    QCOMPARE(shot.size(), QSize(495, 564));
    // The right margin beside the picture area, and the strip below the label.
    QCOMPARE(shot.pixelColor(490, 300), kPink);
    QCOMPARE(shot.pixelColor(300, 29), kPink);
    // The icon: a masked corner pixel shows the pink, its face does not.
    QCOMPARE(shot.pixelColor(0, 0), kPink);
    const QColor face = shot.pixelColor(16, 16);
    QVERIFY2(face != kPink && face != Qt::white, qPrintable(face.name()));
    // Each button's face is flat cyan between its border and its caption.
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        const QRect button = m_form->findChild<QWidget*>(QLatin1String(name))->geometry();
        for (int y : {button.top() + 4, button.center().y(), button.bottom() - 4})
            QCOMPARE(shot.pixelColor(button.left() + 6, y), kCyan);
        QCOMPARE(shot.pixelColor(button.right() - 6, button.top() + 5), kCyan);
    }
    // The splash picture fills the picture area.
    const QRect area = m_form->Image1().geometry();
    int inked = 0;
    for (int y = area.top(); y <= area.bottom(); y += 8)
        for (int x = area.left(); x <= area.right(); x += 8)
            inked += isWhite(shot.pixel(x, y)) ? 0 : 1;
    QVERIFY2(inked > 200, qPrintable(QString::number(inked)));
    QCOMPARE(shot.pixelColor(area.left() - 1, area.center().y()), kPink);
}

void TestWindow::tabOrderAndFocus()
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QCOMPARE(QApplication::focusWidget(), &m_form->Command1());
    const QStringList expected = {QStringLiteral("Command2"), QStringLiteral("Command3"),
                                  QStringLiteral("Command1")};
    for (const QString& next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
}

void TestWindow::keyboardClicks_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("clicks");
    QTest::newRow("space") << int(Qt::Key_Space) << 1;
    QTest::newRow("return") << int(Qt::Key_Return) << 1;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 1;
    QTest::newRow("escape is no cancel button") << int(Qt::Key_Escape) << 0;
    QTest::newRow("a letter is no access key") << int(Qt::Key_K) << 0;
}

void TestWindow::keyboardClicks()
{
    QFETCH(int, key);
    // Count clicks without running the real print command and its dialog.
    m_program.reset();
    window::CommandButton& print = m_form->Command3();
    print.setFocus();
    QSignalSpy pressed(&print, &QPushButton::pressed);
    QSignalSpy clicked(&print, &QPushButton::clicked);
    QTest::keyClick(&print, Qt::Key(key));
    // The key is handled before keyClick returns, and every way to a click, Enter's animated
    // one included, emits pressed while it is handled: with the posted events delivered too,
    // no press means no click is on its way.
    QCoreApplication::sendPostedEvents();
    QFETCH(int, clicks);
    QCOMPARE(int(pressed.count()), clicks);
    // Enter animates the press like a mouse click, so its click comes a moment later.
    QTRY_COMPARE(int(clicked.count()), clicks);
    QVERIFY(!print.isDown());
}

void TestWindow::buttonsDrawnAboveLabelAndPicture()
{
    const QObjectList children = m_form->children();
    const auto position = [&](const char* name) {
        return children.indexOf(m_form->findChild<QWidget*>(QLatin1String(name)));
    };
    for (const char* button : {"Command1", "Command2", "Command3"}) {
        QVERIFY(position(button) > position("Label1"));
        QVERIFY(position(button) > position("Image1"));
    }
}

void TestWindow::layoutFollowsResize()
{
    m_form->resize(1000, 700);
    QTRY_COMPARE(m_form->Image1().size(), QSize(980, 633));
    for (const char* name : {"Command1", "Command2", "Command3"})
        QCOMPARE(m_form->findChild<QWidget*>(QLatin1String(name))->y(), 667);
    QCOMPARE(m_form->Image1().pos(), QPoint(8, 32));
    QCOMPARE(m_form->Label1().pos(), QPoint(48, 8));
}

void TestWindow::minimizeLeavesLayoutAlone()
{
    m_form->resize(800, 600);
    QTRY_COMPARE(m_form->Image1().size(), QSize(780, 533));
    m_form->setWindowState(Qt::WindowMinimized);
    QCOMPARE(m_form->WindowState(), Form1::Minimized);
    m_form->resize(300, 300);
    QCOMPARE(m_form->Image1().size(), QSize(780, 533));
    m_form->setWindowState(Qt::WindowNoState);
    QTRY_COMPARE(m_form->Image1().size(), QSize(280, 233));
}

void TestWindow::exitButtonClosesWindow()
{
    QTest::mouseClick(&m_form->Command2(), Qt::LeftButton);
    QTRY_VERIFY(!m_form->isVisible());
    QCOMPARE(m_endedWith, -1);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
