// Tools > Export World File..., Export KMZ... and Export OziExplorer Map...: the selected map
// for other programs, in the library's datum (a KMZ in WGS 84, as KML always is), where the user
// says: a save dialog opens on the last export's folder, with the map's name.
#include "georef/Georef.h"
#include "mapdef/MapCode.h"
#include "platform/Settings.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <filesystem>

namespace {

constexpr const char* kApp = "Varnet";
constexpr const char* kSection = "Settings";
constexpr const char* kExportFolder = "ExportFolder";

// A path as the system writes it, as the save dialog showed it.
QString Shown(const std::string& native) {
    return QDir::toNativeSeparators(QString::fromStdString(native));
}

// Names joined as a sentence lists them: "a", "a and b", "a, b and c".
QString Listed(const QStringList& names) {
    return names.size() < 2 ? names.join("")
                            : names.mid(0, names.size() - 1).join(", ") + " and " + names.back();
}

// The folder the save dialog opens on: the last export's while it is there, else the user's
// documents.
QString StartFolder() {
    const QString kept = FromCore(Platform::GetSetting(kApp, kSection, kExportFolder, ""));
    if (!kept.isEmpty() && QFileInfo(kept).isDir()) return kept;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

// Keeps the folder for the next export, when the settings can hold its name.
void KeepFolder(const QString& folder) {
    bool lossless = true;
    const std::string core = Platform::Utf8ToCp1252(folder.toStdString(), &lossless);
    if (lossless) Platform::SaveSetting(kApp, kSection, kExportFolder, core);
}

// The extension of the file the user names, and the dialog's filter entry for it.
std::pair<QString, QString> Offered(const Georef::ExportRequest& request) {
    switch (request.format) {
    case Georef::ExportFormat::Kmz:
        return {".kmz", "KMZ ground overlay|*.kmz"};
    case Georef::ExportFormat::Ozi:
        return {".map", "OziExplorer map|*.map"};
    default: // World; the device formats have a window of their own
        break;
    }
    const QString world = QString::fromStdString(
        std::filesystem::path(MapCode::WorldFileNameFor(request.picture)).extension().string());
    return {world, "World file, with a copy of the picture|*" + world};
}

// Asks where the export goes and aims the request there; false when the user cancels.
bool AskWhere(QWidget* parent, const QString& title, Georef::ExportRequest& request) {
    const auto [extension, filter] = Offered(request);
    const QString stem = QFileInfo(FromCore(request.name)).completeBaseName();
    const auto chosen = ShowFileSave(parent, {title, filter, StartFolder(), stem + extension});
    if (!chosen || chosen->isEmpty()) return false;
    const QFileInfo file(*chosen);
    QString name = file.fileName();
    if (name.endsWith(extension, Qt::CaseInsensitive)) name.chop(extension.size());
    request.outFolder = QDir::toNativeSeparators(file.absolutePath()).toStdString();
    request.outStem = name.toStdString();
    return true;
}

// Asks before replacing the files of the export's names that are there already, letting the
// request replace them; false when the user keeps them.
bool MayReplace(Georef::ExportRequest& request, const QString& title) {
    QStringList there;
    for (const auto& target : Georef::ExportTargets(request)) {
        std::error_code ec;
        if (std::filesystem::symlink_status(target, ec).type() !=
            std::filesystem::file_type::not_found)
            there << Shown(target);
    }
    if (there.isEmpty()) return true;
    const QString prompt = there.size() == 1
                               ? "The file " + there[0] + " exists already. Replace it?"
                               : "The files " + Listed(there) + " exist already. Replace them?";
    request.replace = MsgBox(prompt, vbQuestion + vbYesNo + vbDefaultButton2, title) == vbYes;
    return request.replace;
}

} // namespace

void frmMain::ExportSelected(Georef::ExportFormat format, const QString& title) {
    const Library::Entry* e = SelectedEntry();
    if (!e) return;
    if (!e->definition.ok || !e->NamesPicture()) {
        MsgBox("The map definition " + FromCore(e->path) +
                   " does not give both corners and a picture, so there is nothing to place.",
               vbExclamation, title);
        return;
    }
    // Every export counts the picture's pixels: a picture without a size cannot be placed.
    const auto georeference = e->Georeference();
    if (!georeference) {
        MsgBox("The map " + FromCore(e->name) + " could not be exported: " + FromCore(e->reason) +
                   ".",
               vbExclamation, "Save Error");
        return;
    }
    Georef::ExportRequest request{.name = e->name,
                                  .picture = e->pictureNative,
                                  .georeference = *georeference,
                                  .format = format,
                                  .outFolder = {},
                                  .replace = false,
                                  .datum = Georef::LibraryDatum()};
    if (!AskWhere(this, title, request) || !MayReplace(request, title)) return;
    try {
        QStringList names;
        for (const auto& path : Georef::Export(request)) names << Shown(path);
        KeepFolder(QString::fromStdString(request.outFolder));
        sbStatusBar->SetPanelText(1, "Saved " + Listed(names) + ".");
    } catch (const std::exception& error) {
        MsgBox(QString::fromStdString(error.what()), vbExclamation, "Save Error");
    }
}

void frmMain::mnuToolsExportWorldFile_Click() {
    ExportSelected(Georef::ExportFormat::World, "Export World File");
}

void frmMain::mnuToolsExportKmz_Click() {
    ExportSelected(Georef::ExportFormat::Kmz, "Export KMZ");
}

void frmMain::mnuToolsExportOzi_Click() {
    ExportSelected(Georef::ExportFormat::Ozi, "Export OziExplorer Map");
}
