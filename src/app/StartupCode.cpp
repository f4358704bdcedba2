#include "app/StartupCode.h"

#include "library/HostFolder.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"
#include "ui/frmSplash.h"
#include "view/cPicScroll.h"

#include <QApplication>

namespace StartupCode {

std::string HostFolder;
frmMain* MainWindow = nullptr;
std::unique_ptr<cPicScroll> PicScroll;
std::unique_ptr<LibraryModel> Model;

namespace {
// The model goes before the application does: its watcher waits in the application's event loop.
void DropModel() {
    Model.reset();
}
} // namespace

std::string GetHostFolder() {
    HostFolder = Library::HostFolder();
    return HostFolder;
}

frmMain& CreateMainWindow() {
    if (!frmMain::Loaded()) { // a window made already keeps the model it shows
        Model = std::make_unique<LibraryModel>();
        qRemovePostRoutine(DropModel);
        qAddPostRoutine(DropModel);
    }
    frmMain& main = frmMain::Create(Model->maps, Model->watcher, Model->places);
    MainWindow = &main;
    return main;
}

void Main() {
    // The windows' twips geometry was laid out for an 8-point system font.
    QFont font = QApplication::font();
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    // On screen before the long work begins: no events are processed until the main window is
    // ready.
    frmSplash::Instance().ShowPainted();

    HostFolder = GetHostFolder();
    if (HostFolder != "") {
        frmMain& main = CreateMainWindow();
        try {
            main.Load();
        } catch (const std::exception& e) {
            // A load that fails leaves nothing usable: say why and end.
            MsgBox("Varnet could not open its main window: " + QString::fromStdString(e.what()),
                   vbExclamation, "Fatal Error");
            main.Unload();
            MainWindow = nullptr;
            if (frmSplash::Loaded()) frmSplash::Instance().Unload();
            return;
        }
        if (frmSplash::Loaded()) frmSplash::Instance().Unload();
        main.ShowModeless();
    } else {
        MsgBox("Unable to locate the Stelmar main directory. This software requires Stelmar to be "
               "installed. If Stelmar is installed on this machine then please reinstall it.",
               vbExclamation, "Fatal Error");
        if (frmSplash::Loaded()) frmSplash::Instance().Unload();
    }
}

} // namespace StartupCode
