#include "app/StartupCode.h"

#include "library/HostFolder.h"
#include "platform/StopRequests.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"
#include "ui/frmMain.h"
#include "ui/frmSplash.h"
#include "view/cPicScroll.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

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
// Ends the program as File > Exit does. A dialog waiting in an event loop of its own is closed
// first (a question answered as Escape answers it, Cancel pressed on a progress window), and the
// exit comes once that loop has ended: a window must not go while a loop on it still runs.
void Stop() {
    if (QThread::currentThread()->loopLevel() > 1) {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* form = qobject_cast<Form*>(modal))
                form->Unload();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
        QTimer::singleShot(20, qApp, Stop);
        return;
    }
    if (MainWindow && frmMain::Loaded())
        MainWindow->mnuFileExit_Click();
    else
        QCoreApplication::quit();
}

} // namespace

void EndOnStopRequests() {
    const int requests = Platform::CatchStopRequests();
    if (requests < 0 || qApp->findChild<QSocketNotifier*>("stopRequests")) return;
    auto* notifier = new QSocketNotifier(requests, QSocketNotifier::Read, qApp);
    notifier->setObjectName("stopRequests");
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        if (Platform::TakeStopRequests()) Stop();
    });
}

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
    PrepareSplashLogo(); // drawn while the fonts are read
    // The windows' twips geometry was laid out for an 8-point system font.
    QFont font = QApplication::font();
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
    // SIGTERM, SIGHUP and Ctrl+C from here on end the program as File > Exit does, once the
    // main window is there to end.
    Platform::CatchStopRequests();

    // The library's folder is read on threads of their own while the windows are made: the
    // main window's load takes what they read.
    HostFolder = GetHostFolder();
    if (!HostFolder.empty()) {
        const std::string maps = HostFolder + "\\Maps\\";
        Library::Prefetch(maps.substr(0, maps.find_last_not_of('\\') + 1),
                          Library::Depth::Definitions);
    }

    // On screen before the long work begins: no events are processed until the main window is
    // ready.
    frmSplash::Instance().ShowPainted();

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
        EndOnStopRequests();
    } else {
        MsgBox("Unable to locate the Stelmar main directory. This software requires Stelmar to be "
               "installed. If Stelmar is installed on this machine then please reinstall it.",
               vbExclamation, "Fatal Error");
        if (frmSplash::Loaded()) frmSplash::Instance().Unload();
    }
}

} // namespace StartupCode
