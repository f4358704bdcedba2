// The File, View and Help commands and the toolbar.
#include "platform/Settings.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"

void frmMain::tbToolBar_ButtonClick(const QString& key) {
    try {
        if (key == "Print") mnuFilePrint_Click();
    } catch (...) {
    }
}

void frmMain::mnuFilePageSetup_Click() {
    // Whatever is chosen, or a cancel, changes nothing.
    try {
        dlgCommonDialog.DialogTitle = "Page Setup";
        dlgCommonDialog.CancelError = true;
        ShowPrintSetup(this, dlgCommonDialog.DialogTitle);
    } catch (...) {
    }
}

void frmMain::mnuFilePrintPreview_Click() {
    MsgBox("Add 'mnuFilePrintPreview_Click' code.", vbOKOnly, kAppTitle);
}

void frmMain::mnuFilePrint_Click() {
    MsgBox("Add 'mnuFilePrint_Click' code.", vbOKOnly, kAppTitle);
}

void frmMain::mnuFileExit_Click() {
    Unload();
}

void frmMain::mnuViewToolbar_Click() {
    // Only the bar and its mark: the layout keeps the bar's band.
    mnuViewToolbar->setChecked(!mnuViewToolbar->isChecked());
    tbToolBar->setVisible(mnuViewToolbar->isChecked());
}

void frmMain::mnuViewStatusBar_Click() {
    mnuViewStatusBar->setChecked(!mnuViewStatusBar->isChecked());
    sbStatusBar->setVisible(mnuViewStatusBar->isChecked());
}

void frmMain::mnuHelpContents_Click() {
    MsgBox("Unable to display Help Contents. There is no Help associated with this project.",
           vbInformation, windowTitle());
}

void frmMain::mnuHelpSearchForHelpOn_Click() {
    mnuHelpContents_Click();
}

void frmMain::mnuHelpAbout_Click() {
    frmAbout::Instance().ShowModal(this);
}

void frmMain::mnuViewZoomIn_Click() {
    MapViewer->ZoomIn();
}

void frmMain::mnuViewZoomOut_Click() {
    MapViewer->ZoomOut();
}

void frmMain::mnuViewFitMap_Click() {
    MapViewer->FitMap();
}

void frmMain::mnuViewActualSize_Click() {
    MapViewer->ActualSize();
}

void frmMain::mnuViewFitEachMap_Click() {
    const bool on = !mnuViewFitEachMap->isChecked();
    mnuViewFitEachMap->setChecked(on);
    MapViewer->SetFitEach(on);
    std::string error;
    if (!Platform::SaveSetting("Varnet", "Settings", "FitEachMap", on ? "1" : "0", &error))
        sbStatusBar->SetPanelText(1, "The setting Fit Each Map could not be kept: " +
                                         QString::fromStdString(error));
}
