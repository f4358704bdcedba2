// Maps by place: Tools > Find Maps..., the map picture's context menu (Copy Position, Maps
// Covering This Place), and a map chosen by place shown where the place is.
#include "mapdef/MapCode.h"
#include "ui/CoreText.h"
#include "ui/frmFindMaps.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QClipboard>

void frmMain::BuildPictureMenu() {
    mnuPicture = new QMenu(this);
    mnuPicture->setObjectName("mnuPicture");
    mnuPictureCopyPosition = mnuPicture->addAction("Copy Position");
    mnuPictureCopyPosition->setObjectName("mnuPictureCopyPosition");
    const QKeySequence copyKey(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    // Shown in the menu; the key itself is the window's, below.
    mnuPictureCopyPosition->setShortcut(copyKey);
    mnuPictureCopyPosition->setShortcutContext(Qt::WidgetShortcut);
    connect(mnuPictureCopyPosition, &QAction::triggered, this,
            [this] { mnuPictureCopyPosition_Click(); });
    auto* copyPosition = new QAction(this);
    copyPosition->setShortcut(copyKey);
    addAction(copyPosition);
    connect(copyPosition, &QAction::triggered, this,
            [this] { CopyPosition(MapViewer->PlaceAt(MapViewer->PointOfInterest())); });
    mnuPictureMapsCovering = mnuPicture->addAction("Maps Covering This Place");
    mnuPictureMapsCovering->setObjectName("mnuPictureMapsCovering");
    connect(mnuPictureMapsCovering, &QAction::triggered, this,
            [this] { mnuPictureMapsCovering_Click(); });
    // The pointer's menu over the picture or the frame around it, on the place pointed at.
    auto menuAt = [this](QPoint inInner) {
        picInner_ContextMenu(inInner, picInner->mapToGlobal(inInner));
    };
    picInner->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(picInner, &QWidget::customContextMenuRequested, this, menuAt);
    picOuter->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(picOuter, &QWidget::customContextMenuRequested, this,
            [this, menuAt](QPoint at) { menuAt(picInner->mapFrom(picOuter, at)); });
    // The keyboard's, on the place in the middle of the frame.
    auto* key = new QAction(picOuter);
    key->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    key->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    picOuter->addAction(key);
    connect(key, &QAction::triggered, this,
            [this, menuAt] { menuAt(picInner->mapFrom(picOuter, picOuter->rect().center())); });
}

void frmMain::picInner_ContextMenu(QPoint pointInInner, QPoint global) {
    PicturePlace = MapViewer->PlaceAt(pointInInner);
    mnuPictureCopyPosition->setEnabled(PicturePlace.has_value());
    mnuPictureMapsCovering->setEnabled(PicturePlace.has_value());
    mnuPicture->popup(global);
}

void frmMain::mnuPictureCopyPosition_Click() {
    CopyPosition(PicturePlace);
}

void frmMain::CopyPosition(const std::optional<std::pair<float, float>>& place) {
    const QString text = place ? MapView::PlaceText(*place) : QString();
    if (text.isEmpty())
        QApplication::beep();
    else
        QGuiApplication::clipboard()->setText(text);
}

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
        find.Attach(*Maps);
        connect(&find, &frmFindMaps::MapChosen, this, &frmMain::ShowMapAt);
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
}
