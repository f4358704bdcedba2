// Tools > Export World File...: the selected map's corners as a world file beside its picture,
// for GIS programs.
#include "mapdef/MapCode.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"

void frmMain::mnuToolsExportWorldFile_Click() {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    if (!IsFileNode(node)) return;
    const int index = Maps->IndexOf(ToCore(node->text(0)));
    if (index < 0) return;
    const Library::Entry& e = Maps->Entries()[std::size_t(index)];
    const QString title = "Export World File";
    if (!e.definition.ok || !e.NamesPicture()) {
        MsgBox("The map definition " + FromCore(e.path) +
                   " does not give both corners and a picture, so there is nothing to place.",
               vbExclamation, title);
        return;
    }
    const std::string world = MapCode::WorldFileNameFor(e.picturePath);
    // The world file counts the picture's pixels: a picture without a size cannot be placed.
    const auto georeference = e.Georeference();
    if (!georeference) {
        MsgBox("The world file " + FromCore(world) + " could not be saved: " + FromCore(e.reason) +
                   ".",
               vbExclamation, "Save Error");
        return;
    }
    if (MapCode::FileExists(world) &&
        MsgBox("The world file " + FromCore(world) + " exists already. Replace it?",
               vbQuestion + vbYesNo, title) != vbYes)
        return;
    try {
        MapCode::WriteWorldFile(world, *georeference);
        sbStatusBar->SetPanelText(1, "Saved the world file " + FromCore(world) + ".");
    } catch (const std::exception& e) {
        MsgBox("The world file " + FromCore(world) + " could not be saved: " + FromCore(e.what()) +
                   ".",
               vbExclamation, "Save Error");
    }
}
