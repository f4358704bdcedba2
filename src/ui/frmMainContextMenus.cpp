// The context menus: a definition's in the tree, the map picture's. Each offers, where the user
// points, commands the menu bar offers for the selection, and a few of its own.
#include "ui/CoreText.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>

void frmMain::BuildContextMenus() {
    auto item = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuDefinition = new QMenu(this);
    mnuDefinition->setObjectName("mnuDefinition");
    mnuDefinitionExportWorldFile =
        item(mnuDefinition, "mnuDefinitionExportWorldFile", "Export &World File...");
    mnuDefinitionShowInCoverage =
        item(mnuDefinition, "mnuDefinitionShowInCoverage", "Show in &Coverage");
    mnuDefinitionCopyPath = item(mnuDefinition, "mnuDefinitionCopyPath", "Copy &Path");
    connect(mnuDefinitionExportWorldFile, &QAction::triggered, this,
            [this] { mnuToolsExportWorldFile_Click(); });
    connect(mnuDefinitionShowInCoverage, &QAction::triggered, this,
            [this] { mnuDefinitionShowInCoverage_Click(); });
    connect(mnuDefinitionCopyPath, &QAction::triggered, this,
            [this] { mnuDefinitionCopyPath_Click(); });

    // The menu key reaches the tree, a right click its viewport.
    DirTree->installEventFilter(this);
    DirTree->viewport()->installEventFilter(this);
}

void frmMain::DirTree_ContextMenu(const QContextMenuEvent& event) {
    // On the node under the pointer, or (from the keyboard) the node that has the focus.
    const bool pointed = event.reason() == QContextMenuEvent::Mouse;
    QTreeWidgetItem* node = pointed ? DirTree->itemAt(event.pos()) : DirTree->currentItem();
    if (!IsFileNode(node)) return;
    DirTree->setCurrentItem(node); // the menu's commands act on the selection
    mnuDefinition->popup(
        pointed ? event.globalPos()
                : DirTree->viewport()->mapToGlobal(DirTree->visualItemRect(node).center()));
}

const Library::Entry* frmMain::SelectedEntry() const {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    const int index = IsFileNode(node) ? Maps->IndexOf(ToCore(node->text(0))) : -1;
    return index < 0 ? nullptr : &Maps->Probed(index);
}

void frmMain::mnuDefinitionShowInCoverage_Click() {
    const Library::Entry* e = SelectedEntry();
    if (!e) return;
    mnuViewCoverage_Click();
    frmCoverage::Instance().activateWindow();
    if (!e->HasCorners())
        sbStatusBar->SetPanelText(
            1, FromCore(e->name) + " has no place in the coverage: " + FromCore(e->reason) + ".");
}

void frmMain::mnuDefinitionCopyPath_Click() {
    const Library::Entry* e = SelectedEntry();
    if (!e) return;
    QGuiApplication::clipboard()->setText(FromCore(e->path));
    sbStatusBar->SetPanelText(1, "Copied " + FromCore(e->path) + ".");
}

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
    const QString text = place ? MapViewer->PlaceText(*place) : QString();
    if (text.isEmpty())
        QApplication::beep();
    else
        QGuiApplication::clipboard()->setText(text);
}
