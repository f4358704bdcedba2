// Tools > Export World File...: the selected map's corners as a world file beside its picture,
// for GIS programs.
#include "mapdef/MapCode.h"
#include "picture/PictureLoader.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/frmMain.h"

void frmMain::mnuToolsExportWorldFile_Click() {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    if (!IsFileNode(node)) return;
    const std::string folder = NodeFolder(node);
    const std::string definition = folder + "\\" + ToCore(node->text(0));
    float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
    std::string image, tl, br;
    const QString title = "Export World File";
    if (!MapCode::ReadMapDefinition(folder + "\\", definition, tlLon, tlLat, brLon, brLat, image,
                                    tl, br) ||
        image.empty()) {
        MsgBox("The map definition " + FromCore(definition) +
                   " does not give both corners and a picture, so there is nothing to place.",
               vbExclamation, title);
        return;
    }
    const std::string picture = folder + "\\" + image;
    const std::string world = MapCode::WorldFileNameFor(picture);
    try {
        const QSize size = Picture::Open(picture).size; // the world file counts its pixels
        if (MapCode::FileExists(world) &&
            MsgBox("The world file " + FromCore(world) + " exists already. Replace it?",
                   vbQuestion + vbYesNo, title) != vbYes)
            return;
        MapCode::WriteWorldFile(world, tlLon, tlLat, brLon, brLat, size.width(), size.height());
    } catch (const std::exception& e) {
        MsgBox("The world file " + FromCore(world) + " could not be saved: " + FromCore(e.what()) +
                   ".",
               vbExclamation, "Save Error");
    }
}
