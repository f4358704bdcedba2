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

// Side by side (the program's stacked splitter is laid out in LayoutTest).
TEST(Splitter, LaysOutThePanesBesideTheBar) {
    Rig r(0, 50, 6000, 2000);
    QSignalSpy resized(r.s, &Splitter::Resize);
    r.s->setSplitPercent(30);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_TRUE(NearRect(Twips::Rect(r.one), {0, 0, 1785, 2000}));
    EXPECT_TRUE(NearRect(Twips::Rect(r.s->SplitterBar), {1785, 0, 50, 2000}));
    EXPECT_TRUE(NearRect(Twips::Rect(r.two), {1835, 0, 4165, 2000}));
}

TEST(Splitter, TheDragMovesTheBarThenThePanesOnRelease) {
    Rig r(0, 50, 6000, 2000);
    r.s->setSplitPercent(30);
    ASSERT_NEAR(Twips::Left(r.s->SplitterBar), 1785, 1e-3);
    r.s->SplitterBar_MouseDown(1, 0, 25, 100);
    r.s->SplitterBar_MouseMove(3, 0, 500, 100); // both buttons: nothing
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
