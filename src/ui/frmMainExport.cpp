// Tools > Export World File..., Export KMZ... and Export OziExplorer Map...: the selected map
// for other programs, in the library's datum (a KMZ in WGS 84, as KML always is).
#include "georef/Georef.h"
#include "mapdef/MapCode.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"

#include <QStringList>
#include <filesystem>

namespace {

QString Native(const std::string& path) {
    return QString::fromStdString(path);
}

} // namespace

void frmMain::ExportSelected(Georef::ExportFormat format, const QString& title) {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    if (!IsFileNode(node)) return;
    const int index = Maps->IndexOf(ToCore(node->text(0)));
    if (index < 0) return;
    const Library::Entry& e = Maps->Entries()[std::size_t(index)];
    if (!e.definition.ok || !e.NamesPicture()) {
        MsgBox("The map definition " + FromCore(e.path) +
                   " does not give both corners and a picture, so there is nothing to place.",
               vbExclamation, title);
        return;
    }
    // Every export counts the picture's pixels: a picture without a size cannot be placed.
    const auto georeference = e.Georeference();
    if (!georeference) {
        MsgBox("The map " + FromCore(e.name) + " could not be exported: " + FromCore(e.reason) +
                   ".",
               vbExclamation, "Save Error");
        return;
    }
    Georef::ExportRequest request{.name = e.name,
                                  .picture = e.pictureNative,
                                  .georeference = *georeference,
                                  .format = format,
                                  .outFolder = {}, // beside the picture
                                  .replace = false,
                                  .datum = Georef::LibraryDatum(),
                                  .progress = {}};
    const auto targets = Georef::ExportTargets(request);
    for (const auto& target : targets) {
        std::error_code ec;
        if (std::filesystem::symlink_status(target, ec).type() ==
            std::filesystem::file_type::not_found)
            continue;
        // The world file in the map's folder, by the name it has there (the picture's own).
        const QString named =
            format == Georef::ExportFormat::World && target == targets.front()
                ? "The world file " + FromCore(MapCode::FolderFromPath(e.picturePath)) + "\\" +
                      QString::fromStdString(std::filesystem::path(target).filename().string())
                : "The file " + Native(target);
        if (MsgBox(named + " exists already. Replace it?", vbQuestion + vbYesNo, title) != vbYes)
            return;
        request.replace = true;
        break;
    }
    try {
        const auto written = Georef::Export(request);
        QStringList names;
        for (const auto& path : written) names << Native(path);
        sbStatusBar->SetPanelText(1, "Saved " + names.join(" and ") + ".");
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
