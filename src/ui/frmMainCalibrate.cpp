// Tools > Calibrate Map...: a scan placed by points on it in the Calibrate Map window, saved
// into the Maps folder and selected there.
#include "app/StartupCode.h"
#include "platform/WinPath.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmCalibrate.h"
#include "ui/frmMain.h"

void frmMain::mnuToolsCalibrateMap_Click() {
    const QString title = "Calibrate Map";
    const auto picked = ShowFileOpen(
        this, {title, "Scans (JPEG, GIF, BMP, PNG, TIFF)|*.jpg;*.jpeg;*.gif;*.bmp;*.png;*.tif;"
                      "*.tiff"});
    if (!picked) return;
    const std::string maps = StartupCode::HostFolder + "\\Maps";
    const auto mapsNative = Platform::ToNativePath(maps);
    if (!mapsNative) {
        MsgBox("The Maps folder " + FromCore(maps) + " cannot be reached.", vbExclamation, title);
        return;
    }
    if (frmCalibrate::Loaded()) frmCalibrate::Instance().Unload(); // one scan at a time
    if (frmCalibrate::Loaded()) return;                            // its points kept
    frmCalibrate& calibrate = frmCalibrate::Instance();
    if (!calibrate.Open(*picked, QString::fromStdString(*mapsNative), Georef::LibraryDatum())) {
        calibrate.Unload();
        return;
    }
    connect(&calibrate, &frmCalibrate::Saved, this,
            [this](const QString& name, const QString& said) {
                SelectDefinition(ToCore(name));
                sbStatusBar->SetPanelText(1, said);
            });
    calibrate.ShowModeless();
    calibrate.raise();
    calibrate.activateWindow();
}
