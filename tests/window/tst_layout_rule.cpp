// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/layout_rule.h"
#include "window/window_description.h"

#include <QTest>

using namespace kavelora::window;
using kavelora::platform::Twips;
using kavelora::platform::TwipsRect;

namespace {

// The control rects as the description stores them, before any pass.
struct Geometry
{
    std::array<TwipsRect, kControls.size()> rects;

    Geometry()
    {
        for (const auto& row : kControls)
            rects[static_cast<std::size_t>(row.id)] = {row.left, row.top, row.width, row.height};
    }
    TwipsRect& operator[](ControlId id) { return rects[static_cast<std::size_t>(id)]; }

    void apply(const LayoutPass& pass)
    {
        for (std::size_t i = 0; i < pass.count; ++i) {
            const auto& assignment = pass.assignments[i];
            applyAssignment((*this)[assignment.control], assignment.property, assignment.value);
        }
    }
    void layOut(Form1::State state, float width, float height)
    {
        apply(layoutPass(state, Twips{width}, Twips{height}));
    }
};

constexpr std::array kButtons{ControlId::Command1, ControlId::Command3, ControlId::Command2};

} // namespace

class TestLayoutRule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void singlePass_data();
    void singlePass();
    void minimizedChangesNothing();
    void tooSmallKeepsLastSize_data();
    void tooSmallKeepsLastSize();
    void buttonsReturnWhenNarrowed();
    void buttonsNeverOverlap();
    void passMakesAtMostEightAssignments();
    void labelAndImageOriginNeverChange();
};

void TestLayoutRule::singlePass_data()
{
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::addColumn<float>("imageWidth");
    QTest::addColumn<float>("imageHeight");
    QTest::addColumn<float>("buttonTop");
    QTest::addColumn<float>("openLeft");
    QTest::addColumn<float>("exitLeft");
    QTest::addColumn<float>("printLeft");

    // Stored values: image 7215 x 4455, buttons at top 5520, lefts 360 / 3000 / 1680.
    QTest::newRow("initial client area")
        << 7425.f << 8460.f << 7125.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 299 keeps image width")
        << 299.f << 8460.f << 7215.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 300 is a zero difference")
        << 300.f << 8460.f << 7215.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 301 sets image width 1")
        << 301.f << 8460.f << 1.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 999 keeps image height")
        << 7425.f << 999.f << 7125.f << 4455.f << 499.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 1000 is a zero difference")
        << 7425.f << 1000.f << 7125.f << 4455.f << 500.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 1001 sets image height 1")
        << 7425.f << 1001.f << 7125.f << 1.f << 501.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 499 keeps button top")
        << 7425.f << 499.f << 7125.f << 4455.f << 5520.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 500 is a zero difference")
        << 7425.f << 500.f << 7125.f << 4455.f << 5520.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("height 501 sets button top 1")
        << 7425.f << 501.f << 7125.f << 4455.f << 1.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 29999 moves no button")
        << 29999.f << 8460.f << 29699.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 30000 moves no button")
        << 30000.f << 8460.f << 29700.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 30001 keeps exit in the row")
        << 30001.f << 8460.f << 29701.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 32999 keeps exit in place")
        << 32999.f << 8460.f << 32699.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 33000 keeps exit in place")
        << 33000.f << 8460.f << 32700.f << 7460.f << 7960.f << 360.f << 3000.f << 1680.f;
    QTest::newRow("width 33001 moves exit right")
        << 33001.f << 8460.f << 32701.f << 7460.f << 7960.f << 360.f << 3001.f << 1680.f;
    QTest::newRow("width 71679 moves only exit")
        << 71679.f << 8460.f << 71379.f << 7460.f << 7960.f << 360.f << 41679.f << 1680.f;
    QTest::newRow("width 71680 moves only exit")
        << 71680.f << 8460.f << 71380.f << 7460.f << 7960.f << 360.f << 41680.f << 1680.f;
    QTest::newRow("width 71681 moves print too")
        << 71681.f << 8460.f << 71381.f << 7460.f << 7960.f << 360.f << 41681.f << 1681.f;
    QTest::newRow("width 90359 keeps open in place")
        << 90359.f << 8460.f << 90059.f << 7460.f << 7960.f << 360.f << 60359.f << 20359.f;
    QTest::newRow("width 90360 keeps open in place")
        << 90360.f << 8460.f << 90060.f << 7460.f << 7960.f << 360.f << 60360.f << 20360.f;
    QTest::newRow("width 90361 moves open too")
        << 90361.f << 8460.f << 90061.f << 7460.f << 7960.f << 361.f << 60361.f << 20361.f;
    QTest::newRow("a 7000 pixel wide maximized window")
        << 105000.f << 29550.f << 104700.f << 28550.f << 29050.f << 15000.f << 75000.f << 35000.f;
}

void TestLayoutRule::singlePass()
{
    QFETCH(float, width);
    QFETCH(float, height);
    Geometry geometry;
    geometry.layOut(Form1::Normal, width, height);

    QTEST(geometry[ControlId::Image1].width.value, "imageWidth");
    QTEST(geometry[ControlId::Image1].height.value, "imageHeight");
    for (ControlId button : kButtons)
        QTEST(geometry[button].top.value, "buttonTop");
    QTEST(geometry[ControlId::Command1].left.value, "openLeft");
    QTEST(geometry[ControlId::Command2].left.value, "exitLeft");
    QTEST(geometry[ControlId::Command3].left.value, "printLeft");
}

void TestLayoutRule::minimizedChangesNothing()
{
    QCOMPARE(layoutPass(Form1::Minimized, Twips{7425}, Twips{8460}).count, 0u);
    QCOMPARE(layoutPass(Form1::Minimized, Twips{150000}, Twips{20000}).count, 0u);

    Geometry geometry;
    geometry.layOut(Form1::Normal, 100000.f, 9000.f);
    const Geometry before = geometry;
    geometry.layOut(Form1::Minimized, 2400.f, 300.f);
    QVERIFY(geometry.rects == before.rects);
}

void TestLayoutRule::tooSmallKeepsLastSize_data()
{
    QTest::addColumn<float>("smallWidth");
    QTest::addColumn<float>("smallHeight");
    QTest::addColumn<bool>("widthKept");
    QTest::addColumn<bool>("heightKept");
    QTest::addColumn<bool>("topKept");

    QTest::newRow("narrower than the margin") << 200.f << 8460.f << true << false << false;
    QTest::newRow("lower than the image margin") << 7425.f << 800.f << false << true << false;
    QTest::newRow("lower than the button offset") << 7425.f << 400.f << false << true << true;
    QTest::newRow("tiny in both") << 15.f << 15.f << true << true << true;
}

void TestLayoutRule::tooSmallKeepsLastSize()
{
    QFETCH(float, smallWidth);
    QFETCH(float, smallHeight);
    QFETCH(bool, widthKept);
    QFETCH(bool, heightKept);
    QFETCH(bool, topKept);

    Geometry geometry;
    geometry.layOut(Form1::Normal, 9000.f, 9000.f);
    geometry.layOut(Form1::Normal, smallWidth, smallHeight);

    QCOMPARE(geometry[ControlId::Image1].width.value == 8700.f, widthKept);
    QCOMPARE(geometry[ControlId::Image1].height.value == 8000.f, heightKept);
    for (ControlId button : kButtons)
        QCOMPARE(geometry[button].top.value == 8500.f, topKept);
}

void TestLayoutRule::buttonsReturnWhenNarrowed()
{
    Geometry geometry;
    geometry.layOut(Form1::Maximized, 150000.f, 20000.f);
    QCOMPARE(geometry[ControlId::Command1].left.value, 60000.f);
    QCOMPARE(geometry[ControlId::Command2].left.value, 120000.f);
    QCOMPARE(geometry[ControlId::Command3].left.value, 80000.f);

    geometry.layOut(Form1::Normal, 7425.f, 8460.f);
    QCOMPARE(geometry[ControlId::Command1].left.value, 360.f);
    QCOMPARE(geometry[ControlId::Command2].left.value, 3000.f);
    QCOMPARE(geometry[ControlId::Command3].left.value, 1680.f);
    for (ControlId button : kButtons)
        QVERIFY(geometry[button].right().value <= 7425.f);
}

void TestLayoutRule::buttonsNeverOverlap()
{
    Geometry geometry;
    // Widen step by step, then narrow again, as a user dragging the edge would.
    std::vector<float> widths;
    for (float width = 7425.f; width <= 200000.f; width += 15.f)
        widths.push_back(width);
    const std::vector<float> widening = widths;
    for (std::size_t i = widening.size(); i-- > 0;)
        widths.push_back(widening[i]);

    for (float width : widths) {
        geometry.layOut(Form1::Normal, width, 8460.f);
        const TwipsRect open = geometry[ControlId::Command1];
        const TwipsRect print = geometry[ControlId::Command3];
        const TwipsRect exit = geometry[ControlId::Command2];
        if (!(open.right() < print.left && print.right() < exit.left))
            QFAIL(qPrintable(QStringLiteral("buttons overlap at width %1: %2 %3 %4")
                                 .arg(width)
                                 .arg(open.left.value)
                                 .arg(print.left.value)
                                 .arg(exit.left.value)));
    }
}

void TestLayoutRule::passMakesAtMostEightAssignments()
{
    for (float width : {0.f, 7425.f, 50000.f, 1e6f})
        for (float height : {0.f, 8460.f, 1e6f})
            QVERIFY(layoutPass(Form1::Normal, Twips{width}, Twips{height}).count <= 8u);
}

void TestLayoutRule::labelAndImageOriginNeverChange()
{
    for (float width : {100.f, 7425.f, 95000.f})
        for (float height : {100.f, 8460.f}) {
            const LayoutPass pass = layoutPass(Form1::Normal, Twips{width}, Twips{height});
            for (std::size_t i = 0; i < pass.count; ++i) {
                const auto& assignment = pass.assignments[i];
                QVERIFY(assignment.control != ControlId::Label1);
                if (assignment.control == ControlId::Image1) {
                    QVERIFY(assignment.property == ControlProperty::Width ||
                            assignment.property == ControlProperty::Height);
                }
            }
        }
}

QTEST_APPLESS_MAIN(TestLayoutRule)
#include "tst_layout_rule.moc"
