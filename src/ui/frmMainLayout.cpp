// The main window's layout: the outer splitter between toolbar and status bar, the scroll bars
// around the map view, and the picture following the scroll bars.
#include "app/StartupCode.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"
#include "view/Splitter.h"
#include "view/cPicScroll.h"

void frmMain::Form_Resize() {
    // Each step may fail (a minimised window reports sizes that no control takes); the layout
    // goes on with the next. The bars' bands are kept whether the bars are shown or not.
    auto step = [](auto&& f) {
        try {
            f();
        } catch (...) {
        }
    };
    step([&] { Twips::SetTop(Splitter1, Twips::Height(tbToolBar)); });
    step([&] { Twips::SetLeft(Splitter1, 0); });
    step([&] { Twips::SetWidth(Splitter1, ScaleWidth()); });
    step([&] {
        Twips::SetHeight(Splitter1,
                         ScaleHeight() - Twips::Height(tbToolBar) - Twips::Height(sbStatusBar));
    });
    step([&] { SetScrollRanges(); });
}

void frmMain::Splitter2_Resize() {
    // The first step a control refuses ends the handler; the splitter's layout goes on.
    const float v = Twips::Width(VScroll1), h = Twips::Height(HScroll1);
    if (!Twips::SetLeft(VScroll1, picOuter->Width() - v)) return;
    if (!Twips::SetTop(VScroll1, Twips::Top(picOuter))) return;
    if (!Twips::SetHeight(VScroll1, picOuter->InnerHeight() - h)) return;
    if (!Twips::SetWidth(picOuter, picOuter->Width() - v)) return;
    if (!Twips::SetLeft(HScroll1, 0)) return;
    if (!Twips::SetWidth(HScroll1, picOuter->InnerWidth())) return;
    if (!Twips::SetHeight(picOuter, picOuter->Height() - h)) return;
    // Right under the shrunken frame, so the bar stays inside the splitter and in sight.
    Twips::SetTop(HScroll1, Twips::Top(picOuter) + picOuter->Height());
}

void frmMain::HScroll1_Change() {
    if (StartupCode::PicScroll) StartupCode::PicScroll->MoveH(*HScroll1, *picInner);
}

void frmMain::VScroll1_Change() {
    if (StartupCode::PicScroll) StartupCode::PicScroll->MoveV(*VScroll1, *picInner);
}

void frmMain::SetScrollRanges() {
    cPicScroll scroller;
    cPicScroll& s = StartupCode::PicScroll ? *StartupCode::PicScroll : scroller;
    s.FitScrollBars(*HScroll1, *VScroll1, *picInner, *picOuter);
}
