// Tools > Import Map...: a georeferenced file warped into the library on a worker thread, with
// a progress bar and Cancel.
#include "app/StartupCode.h"
#include "georef/Georef.h"
#include "picture/PictureLoader.h"
#include "platform/WinPath.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"

#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

// The import the user asks for: the file picked and the request for it; nothing when the user
// cancels, declines to replace a map, or the Maps folder cannot be reached (after saying so).
std::optional<std::pair<QString, Georef::ImportRequest>> AskImport(QWidget* parent,
                                                                   const QString& title) {
    const auto picked = ShowFileOpen(
        parent, {"Import Map",
                 "Georeferenced maps (GeoTIFF, picture with world file, OziExplorer, KML, KMZ, "
                 "GeoPDF, JPEG 2000)|*.tif;*.tiff;*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.map;*.kml;"
                 "*.kmz;*.pdf;*.jp2"});
    if (!picked) return std::nullopt;
    const std::string maps = StartupCode::HostFolder + "\\Maps";
    const auto mapsNative = Platform::ToNativePath(maps);
    if (!mapsNative) {
        MsgBox("The Maps folder " + FromCore(maps) + " cannot be reached.", vbExclamation, title);
        return std::nullopt;
    }
    Georef::ImportRequest request;
    request.source = picked->toStdString();
    request.mapsFolder = *mapsNative;
    request.datum = Georef::LibraryDatum();
    request.memoryLimit = Picture::MemoryLimit();
    if (!Georef::ExistingFiles(request.source, request.mapsFolder).empty()) {
        if (MsgBox("The map " + FromCore(Georef::ImportName(request.source)) +
                       ".inf exists already. Replace it?",
                   vbQuestion + vbYesNo + vbDefaultButton2, title) != vbYes)
            return std::nullopt;
        request.replace = true;
    }
    return std::pair(*picked, std::move(request));
}

// How an import ended: its result, or the fault that ended it.
struct ImportOutcome {
    std::optional<Georef::ImportResult> result;
    std::optional<Georef::Error> failure;
};

// The source's file name as the windows show it.
QString Shown(const std::string& path) {
    return QString::fromStdString(Georef::Printable(std::filesystem::path(path).filename()));
}

// Runs the import on a worker thread behind a progress window whose Cancel stops it; so does the
// main window's unload (File > Exit), which may destroy the window before this returns: the
// progress window then leaves it first, so that only this function ends it.
ImportOutcome RunImport(Form* window, Georef::ImportRequest request, const QString& title) {
    const QPointer<QProgressDialog> progress = new QProgressDialog(
        "Importing " + Shown(request.source) + "...", "Cancel", 0, 1000, window);
    progress->setWindowTitle(title);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    std::atomic<bool> cancelled{false};
    QEventLoop loop;
    QObject::connect(progress, &QProgressDialog::canceled, &loop,
                     [&cancelled] { cancelled = true; });
    QObject::connect(window, &Form::Unloaded, &loop, [&cancelled, &progress] {
        cancelled = true;
        progress->hide();
        progress->setParent(nullptr);
    });
    progress->setValue(0);
    // The worker posts to the loop, which outlives it; the window may be gone by then.
    request.progress = [&loop, &progress, &cancelled](double done) {
        QMetaObject::invokeMethod(
            &loop,
            [&progress, &cancelled, done] {
                if (progress && !cancelled) progress->setValue(int(done * 1000));
            },
            Qt::QueuedConnection);
        return !cancelled;
    };

    ImportOutcome outcome;
    std::thread worker([&] {
        try {
            outcome.result = Georef::Import(request);
        } catch (const Georef::Error& e) {
            outcome.failure = e;
        } catch (const std::exception& e) {
            outcome.failure = Georef::Error(Georef::Error::Kind::Failed, e.what());
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    delete progress.data();
    return outcome;
}

} // namespace

void frmMain::mnuToolsImportMap_Click() {
    const QString title = "Import Map";
    auto asked = AskImport(this, title);
    if (!asked) return;
    const QString picked = QString::fromStdString(Georef::Printable(asked->first.toStdString()));
    const QPointer<frmMain> self(this);
    const auto [result, failure] = RunImport(this, std::move(asked->second), title);
    if (!self || !IsLoaded()) return; // File > Exit ended the import and the window

    if (result) {
        SelectDefinition(result->name); // the new map added, selected and shown
        sbStatusBar->SetPanelText(
            1, "Imported " + picked + " as " + FromCore(result->name) + ", corners on " +
                   QString::fromStdString(Georef::DatumName(result->datum)) + ".");
    } else if (failure->kind() == Georef::Error::Kind::Cancelled) {
        sbStatusBar->SetPanelText(1, "The import was cancelled; nothing was written.");
    } else {
        MsgBox(QString::fromStdString(failure->what()), vbExclamation, title);
    }
}
