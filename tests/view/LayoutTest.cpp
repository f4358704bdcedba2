#include "app/StartupCode.h"
#include "platform/CoreError.h"
#include "support/AppTest.h"
#include "ui/frmMain.h"
#include "view/cPicScroll.h"

#include <QApplication>

using LayoutTest = AppTest;

TEST_F(LayoutTest, TheOuterSplitterFillsTheBandBetweenTheBars) {
    frmMain& main = Start();
    main.resize(Twips::ToPixels(8730), Twips::ToPixels(6330) + main.MenuBar->height());
    Flush();
    ASSERT_EQ(main.ScaleWidth(), 8730);
    ASSERT_EQ(main.ScaleHeight(), 6330);
    const float bars = Twips::Height(main.tbToolBar) + Twips::Height(main.sbStatusBar);
    EXPECT_TRUE(NearRect(Twips::Rect(main.Splitter1),
                         QRectF(0, Twips::Height(main.tbToolBar), 8730, 6330 - bars)));

    // Minimised or tiny, the layout refuses negative sizes and goes on.
    main.resize(10, main.MenuBar->height() + 20);
    Flush();
    main.Form_Resize();
    EXPECT_EQ(Twips::Top(main.Splitter1), Twips::Height(main.tbToolBar));
}

TEST_F(LayoutTest, TheScrollBarsFrameTheMapView) {
    frmMain& main = Start();
    Twips::Move(main.Splitter2, 2040, 60, 3045, 2295);
    EXPECT_TRUE(NearRect(Twips::Rect(main.lstDetails), QRectF(0, 0, 3045, 685.5)));
    EXPECT_TRUE(NearRect(Twips::Rect(main.picOuter), QRectF(0, 695.5, 2880, 1404.5)));
    EXPECT_TRUE(NearRect(Twips::Rect(main.VScroll1), QRectF(2880, 695.5, 165, 1344.5)));
    // Right under the frame, inside the splitter.
    EXPECT_TRUE(NearRect(Twips::Rect(main.HScroll1), QRectF(0, 2100, 2820, 195)));
    EXPECT_EQ(main.picOuter->BorderAllowance(), 60);

    // Repeated layouts do not shrink the frame again.
    main.Splitter2->UserControl_Resize();
    EXPECT_TRUE(NearRect(Twips::Rect(main.picOuter), QRectF(0, 695.5, 2880, 1404.5)));

    // Dragging the outer bar lays the inner splitter out again; the ranges stay.
    main.SetScrollRanges();
    const int max = main.HScroll1->Max();
    main.Splitter1->SplitterBar_MouseDown(1, 0, 0, 0);
    main.Splitter1->SplitterBar_MouseMove(1, 0, 600, 0);
    main.Splitter1->SplitterBar_MouseUp(1, 0, 600, 0);
    EXPECT_EQ(Twips::Left(main.VScroll1), main.picOuter->Width());
    EXPECT_EQ(main.HScroll1->Max(), max);
}

TEST_F(LayoutTest, ScrollRangesFitThePictureAndTheBarsMoveIt) {
    frmMain& main = Start();
    struct Case {
        float wi, hi, wo, ho;
        int hMax, hLarge, vMax, vLarge;
    } cases[] = {
        {1001, 2000, 1995, 615, -994, 500, 1385, 667},           // pages rounded half to even
        {40000, 120000, 1995, 615, 38005, 20000, 119385, 40000}, // large scans scroll
        {0, 0, 1995, 615, -1995, 1, -615, 1},                    // steps stay at least 1
    };
    for (const auto& c : cases) {
        Twips::Move(main.picInner, 0, 0, c.wi, c.hi);
        Twips::Move(main.picOuter, 0, 0, c.wo, c.ho);
        main.SetScrollRanges();
        EXPECT_EQ(main.HScroll1->Max(), c.hMax) << c.wi;
        EXPECT_EQ(main.HScroll1->LargeChange(), c.hLarge) << c.wi;
        EXPECT_EQ(main.VScroll1->Max(), c.vMax) << c.hi;
        EXPECT_EQ(main.VScroll1->LargeChange(), c.vLarge) << c.hi;
    }

    // The bars move the picture.
    Twips::Move(main.picInner, 0, 0, 40000, 3000);
    Twips::Move(main.picOuter, 0, 0, 1995, 615);
    main.SetScrollRanges();
    main.HScroll1->setValue(250);
    EXPECT_EQ(Twips::Left(main.picInner), -250);
    main.HScroll1->setValue(38005);
    EXPECT_EQ(Twips::Left(main.picInner), -38005);
    main.VScroll1->setValue(0);
    EXPECT_EQ(Twips::Top(main.picInner), 0);
    EXPECT_THROW(main.HScroll1->setValue(38006), CoreError);
    EXPECT_THROW(main.HScroll1->setSmallChange(0), CoreError);

    // A picture narrower than the frame: the bar runs from 0 down to a negative Max and moves
    // the picture right.
    Twips::Move(main.picInner, 0, 0, 1000, 3000);
    main.SetScrollRanges();
    EXPECT_EQ(main.HScroll1->Value(), 0); // moved into the new range by itself
    EXPECT_EQ(Twips::Left(main.picInner), 0);
    main.HScroll1->setValue(-500);
    EXPECT_EQ(Twips::Left(main.picInner), 500);
    EXPECT_TRUE(main.HScroll1->isEnabled());

    cPicScroll scroller; // every value a bar takes is 32-bit
    scroller.SetUpScrollBars(*main.HScroll1, *main.VScroll1, 100000, 80, 50000, 200000, 40, 70000);
    EXPECT_EQ(main.VScroll1->Max(), 100000);
    EXPECT_EQ(main.HScroll1->LargeChange(), 70000);
}
