#include "view/Splitter.h"
#include "support/AppTest.h"

#include <QSignalSpy>

namespace {
struct Rig {
    QWidget host;
    Splitter* s = new Splitter(&host);
    QWidget* one = new QWidget(s);
    QWidget* two = new QWidget(s);
    Rig(std::int32_t orientation, std::uint8_t barWidth, float w, float h) {
        s->InitProperties();
        s->setSplitterWidth(barWidth);
        s->setOrientation(orientation);
        Twips::Move(s, 0, 0, w, h);
        s->setChild1(one);
        s->setChild2(two);
    }
};
} // namespace

TEST(Splitter, LaysOutBothOrientations) {
    struct Case {
        std::int32_t orientation;
        std::uint8_t bar, percent;
        float w, h;
        QRectF one, bar_, two;
    } cases[] = {
        {0, 50, 30, 6000, 2000, {0, 0, 1785, 2000}, {1785, 0, 50, 2000}, {1835, 0, 4165, 2000}},
        {-1,
         10,
         30,
         3045,
         2295,
         {0, 0, 3045, 685.5},
         {0, 685.5, 3045, 10},
         {0, 695.5, 3045, 1599.5}},
        {0, 50, 0, 6000, 2000, {0, 0, 0, 2000}, {0, 0, 50, 2000}, {50, 0, 5950, 2000}},
    };
    for (const auto& c : cases) {
        Rig r(c.orientation, c.bar, c.w, c.h);
        QSignalSpy resized(r.s, &Splitter::Resize);
        r.s->setSplitPercent(c.percent);
        EXPECT_EQ(resized.count(), 1);
        EXPECT_TRUE(NearRect(Twips::Rect(r.one), c.one));
        EXPECT_TRUE(NearRect(Twips::Rect(r.s->SplitterBar), c.bar_));
        EXPECT_TRUE(NearRect(Twips::Rect(r.two), c.two));
    }
}

TEST(Splitter, TheDragMovesTheBarThenThePanesOnRelease) {
    Rig r(0, 50, 6000, 2000);
    r.s->setSplitPercent(30);
    ASSERT_NEAR(Twips::Left(r.s->SplitterBar), 1785, 1e-3);
    r.s->SplitterBar_MouseDown(1, 0, 25, 100);
    EXPECT_EQ(r.s->SplitterBar->BackColor(), 0u); // as stored: black while pressed
    r.s->SplitterBar_MouseMove(3, 0, 500, 100);   // both buttons: nothing
    EXPECT_NEAR(Twips::Left(r.s->SplitterBar), 1785, 1e-3);
    r.s->SplitterBar_MouseMove(1, 0, 325, 100);
    EXPECT_NEAR(Twips::Left(r.s->SplitterBar), 2060, 1e-3);
    EXPECT_NEAR(r.s->SplitFraction(), 0.34333, 1e-5);
    EXPECT_NEAR(Twips::Width(r.one), 1785, 1e-3); // the panes wait for the release
    r.s->SplitterBar_MouseUp(1, 0, 325, 100);
    EXPECT_NEAR(Twips::Left(r.s->SplitterBar), 2042.8, 0.05);
    EXPECT_NEAR(Twips::Width(r.one), 2042.8, 0.05);
    EXPECT_EQ(r.s->SplitPercent(), 34);

    // Past either edge the share is clamped (the bar itself follows the pointer).
    r.s->SplitterBar_MouseMove(1, 0, -9000, 0);
    EXPECT_FLOAT_EQ(r.s->SplitFraction(), 0.001f);
    r.s->SplitterBar_MouseUp(1, 0, 0, 0);
    EXPECT_NEAR(Twips::Width(r.one), 5.95, 1e-3);
    r.s->SplitterBar_MouseMove(1, 0, 90000, 0);
    EXPECT_FLOAT_EQ(r.s->SplitFraction(), 0.999f);

    Rig stacked(-1, 10, 3045, 2295);
    stacked.s->setSplitPercent(30);
    stacked.s->SplitterBar_MouseMove(1, 0, 0, 110); // far edge on the pointer
    EXPECT_FLOAT_EQ(Twips::Top(stacked.s->SplitterBar), 785.5);
    EXPECT_NEAR(stacked.s->SplitFraction(), 785.5 / 2295, 1e-6);
}

TEST(Splitter, PropertiesStoredValuesAndColours) {
    Rig r(0, 50, 6000, 2000);
    r.s->setOrientation(5);
    EXPECT_EQ(r.s->Orientation(), -1);
    EXPECT_EQ(r.s->SplitterBar->MousePointer(), 7);
    r.s->setOrientation(0);
    EXPECT_EQ(r.s->SplitterBar->MousePointer(), 9);

    // SplitterWidth alone moves nothing until the next layout.
    const QRectF before = Twips::Rect(r.s->SplitterBar);
    r.s->setSplitterWidth(200);
    EXPECT_EQ(Twips::Rect(r.s->SplitterBar), before);
    r.s->setSplitPercent(50);
    EXPECT_EQ(Twips::Width(r.s->SplitterBar), 200);

    // A new instance gets a bar of 50, a stored one without the value 80.
    Splitter fresh;
    fresh.InitProperties();
    EXPECT_EQ(fresh.SplitterWidth(), 50);
    EXPECT_EQ(fresh.SplitPercent(), 50);
    EXPECT_EQ(Twips::Width(fresh.SplitterBar), 50);
    Splitter stored;
    PropertyBag bag;
    bag.Write("ORIENTATION", -1, 0);
    stored.ReadProperties(bag);
    EXPECT_EQ(stored.SplitterWidth(), 80);
    EXPECT_EQ(stored.Orientation(), -1);

    PropertyBag bad; // values that do not convert leave their properties alone
    bad.Write("splitpercent", "lots", 50);
    bad.Write("SplitterWidth", 300, 80);
    stored.setSplitPercent(20);
    stored.ReadProperties(bad);
    EXPECT_EQ(stored.SplitPercent(), 20);
    EXPECT_EQ(stored.SplitterWidth(), 80);

    PropertyBag out; // defaults are omitted
    fresh.WriteProperties(out);
    EXPECT_EQ(out.Size(), 1u);
    EXPECT_EQ(out.Read("splitterwidth", 0).toInt(), 50);

    // Colour 0 paints as button face, shows black while pressed and button face again after.
    EXPECT_EQ(r.s->SplitterColor(), 0u);
    r.s->UserControl_Paint();
    EXPECT_EQ(r.s->SplitterBar->BackColor(), kButtonFace);
    r.s->SplitterBar_MouseDown(1, 0, 0, 0);
    EXPECT_EQ(r.s->SplitterBar->BackColor(), 0u);
    r.s->UserControl_Paint();
    EXPECT_EQ(r.s->SplitterBar->BackColor(), kButtonFace);
    r.s->setSplitterColor(0x0000FF);
    r.s->UserControl_Paint();
    EXPECT_EQ(r.s->SplitterBar->BackColor(), 0x0000FFu);
}

TEST(Splitter, PanesThatRefuseASizeKeepTheirPlace) {
    Rig r(-1, 100, 3000, 2000);
    r.s->setSplitPercent(40);
    const QRectF one = Twips::Rect(r.one);
    Twips::Move(r.s, 0, 0, 3000, 50); // shorter than the bar
    EXPECT_EQ(Twips::Rect(r.one), one);
    Splitter empty; // no panes: the layout skips them
    empty.InitProperties();
    QSignalSpy resized(&empty, &Splitter::Resize);
    empty.setSplitPercent(10);
    EXPECT_EQ(resized.count(), 1);
}
