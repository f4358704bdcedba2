// Maps by place: Tools > Find Maps..., Maps Covering This Place from the map picture's context
// menu, and a map chosen by place shown where the place is.
#include "mapdef/MapCode.h"
#include "ui/CoreText.h"
#include "ui/frmFindMaps.h"
#include "ui/frmMain.h"

void frmMain::mnuPictureMapsCovering_Click() {
    if (!PicturePlace) return;
    std::string latitude, longitude;
    try {
        MapCode::FormatPosition(PicturePlace->first, PicturePlace->second, latitude, longitude);
    } catch (const std::exception&) {
        return; // no place a coordinate text can hold
    }
    FindMaps(FromCore(latitude + "," + longitude));
}

void frmMain::mnuToolsFindMaps_Click() {
    FindMaps();
}

void frmMain::FindMaps(const QString& place) {
    const bool opening = !frmFindMaps::Loaded();
    frmFindMaps& find = frmFindMaps::Instance();
    if (opening) {
        // Owned by the main window: above it, closed with it.
        find.setParent(this, find.windowFlags() | Qt::Tool);
        find.Attach(*Maps, *Places);
        connect(&find, &frmFindMaps::MapChosen, this, &frmMain::ShowMapAt);
        // Closed and opened again, it shows what it showed.
        find.Restore(foundPlace_, foundMap_);
        connect(&find, &Form::Unloaded, this, [this, &find] {
            foundPlace_ = find.txtPlace->text();
            foundMap_ = find.ChosenMap();
        });
    }
    if (!place.isEmpty()) find.txtPlace->setText(place);
    find.ShowModeless();
    find.raise();
    find.activateWindow();
    find.txtPlace->setFocus();
    find.txtPlace->selectAll(); // what is typed next is a new place
}

void frmMain::ShowMapAt(const QString& name, float latitude, float longitude) {
    QTreeWidgetItem* node = DirTree->Node(name);
    if (!IsFileNode(node)) return;
    DirTree->EnsureVisible(node);
    if (DirTree->SelectedItem() != node) DirTree->setCurrentItem(node); // details and picture
    DirTree->scrollToItem(node);
    MapViewer->CentreOn(latitude, longitude);
    MapViewer->MarkPlace(latitude, longitude); // found means shown
}
