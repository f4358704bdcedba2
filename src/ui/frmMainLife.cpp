// The main window's life: its load restores the placement and wires the panes; its unload
// closes the other windows and keeps the placement for the next run.
#include "app/StartupCode.h"
#include "platform/Settings.h"
#include "ui/Placement.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"
#include "view/Splitter.h"
#include "view/cPicScroll.h"

void frmMain::Form_Load() {
    StartupCode::PicScroll = std::make_unique<cPicScroll>();

    RestorePlacement(*this, "Main", QRectF(1000, 1000, 6500, 6500));
    mnuViewFitEachMap->setChecked(Platform::GetSetting("Varnet", "Settings", "FitEachMap", "") ==
                                  "1");
    MapViewer->SetFitEach(mnuViewFitEachMap->isChecked());
    LoadGridSettings();

    Splitter1->setChild1(DirTree);
    Splitter1->setChild2(Splitter2);
    Splitter2->setChild1(lstDetails);
    Splitter2->setChild2(picOuter);
    Splitter1->setSplitPercent(30);
    Splitter2->setSplitPercent(30);
    Twips::SetLeft(picInner, 0);
    Twips::SetTop(picInner, 0);

    FillLibraryTree();
}

void frmMain::Form_Unload(std::int16_t& Cancel) {
    (void)Cancel;              // the unload always goes ahead
    MapViewer->ClearPicture(); // its decoding stops, its disc cache goes
    for (int i = LoadedCount() - 1; i >= 1; --i)
        if (Form* f = LoadedAt(i); f && f != this) f->Unload();
    if (Minimized()) return; // the last normal or maximised placement stays
    SavePlacement(*this, "Main");
}
