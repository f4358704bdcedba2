#include "ui/frmMain.h"

#include "ui/Accessibility.h"
#include "ui/Pictures.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"
#include "view/Splitter.h"

#include <QEvent>
#include <QShortcut>
#include <QVBoxLayout>

frmMain::frmMain(Library::MapLibrary& maps, Library::LibraryWatcher& watcher,
                 const Library::PlaceIndex& places)
    : Maps(&maps), Watcher(&watcher), Places(&places) {
    setObjectName("frmMain");
    setWindowIcon(ProgramIcon());
    MenuBar = new QMenuBar(this);
    Client = new QWidget(this);
    Client->setObjectName("Client");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MenuBar);
    layout->addWidget(Client);
    BuildMenus();
    BuildGridMenu(mnuView->menu()); // the View menu's last items
    BuildControls();

    Define("Varnet", Border::Sizable, StartUp::SystemDefault, 8730, 6330, true, true);
    DescribeControls();
    BuildContextMenus();
    ApplyTabOrder(this);
    BuildMapView();
    BuildPictureMenu();

    // The tree follows the library; the details follow the entry shown when it is read again.
    connect(Maps, &Library::MapLibrary::Reset, this, &frmMain::MirrorLibrary);
    connect(Maps, &Library::MapLibrary::Added, this, &frmMain::EntryAdded);
    connect(Maps, &Library::MapLibrary::Changed, this, &frmMain::EntryChanged);
    connect(Maps, &Library::MapLibrary::Read, this, &frmMain::EntryChanged);
    connect(Maps, &Library::MapLibrary::Removed, this, &frmMain::EntryRemoved);

    Client->installEventFilter(this);
    connect(Splitter2, &Splitter::Resize, this, &frmMain::Splitter2_Resize);
    connect(HScroll1, &ScrollBar::Change, this, &frmMain::HScroll1_Change);
    connect(VScroll1, &ScrollBar::Change, this, &frmMain::VScroll1_Change);
    connect(DirTree, &TreeView::Click, this, &frmMain::DirTree_Click);
    connect(tbToolBar, &ToolBar::ButtonClick, this, &frmMain::tbToolBar_ButtonClick);
}

void frmMain::BuildControls() {
    imlToolbarIcons = std::make_unique<ImageList>(
        QColor(192, 192, 192),
        std::vector<QString>{"New", "Open", "Save", "Print", "Cut", "Copy", "Paste", "Bold",
                             "Italic", "Underline", "Align Left", "Center", "Align Right"});
    DriveImages = std::make_unique<ImageList>(
        QColor(128, 0, 0), std::vector<QString>{"unknown", "fixed", "ram", "remove", "cd", "folder",
                                                "open", "remote", "File", "FileX"});

    tbToolBar = new ToolBar(Client);
    tbToolBar->setObjectName("tbToolBar");
    tbToolBar->ImageListRef = imlToolbarIcons.get();
    tbToolBar->AddButton("Print", "Print", "Print");
    Place(tbToolBar, 0, 0, 8730, 420, 1);

    sbStatusBar = new StatusBar(Client);
    sbStatusBar->setObjectName("sbStatusBar");
    Place(sbStatusBar, 0, 6060, 8730, 270, 0);

    Splitter1 = new Splitter(Client);
    Splitter1->setObjectName("Splitter1");
    Place(Splitter1, 420, 1320, 5925, 2685, 2);
    PropertyBag bag1;
    bag1.Write("splitterwidth", 50, 80);
    Splitter1->ReadProperties(bag1);

    DirTree = new TreeView(Splitter1);
    DirTree->setObjectName("DirTree");
    DirTree->ImageListRef = DriveImages.get();
    Place(DirTree, 0, 0, 1905, 3225, 3);

    Splitter2 = new Splitter(Splitter1);
    Splitter2->setObjectName("Splitter2");
    Place(Splitter2, 2040, 60, 3045, 2295, 4);
    PropertyBag bag2;
    bag2.Write("orientation", -1, 0);
    bag2.Write("splitterwidth", 10, 80);
    Splitter2->ReadProperties(bag2);

    BuildPictureControls();
}

void frmMain::BuildPictureControls() {
    lstDetails = new QListWidget(Splitter2);
    lstDetails->setObjectName("lstDetails");
    Place(lstDetails, 420, 180, 2415, 645, 6);

    picOuter = new PictureBox(Splitter2);
    picOuter->setObjectName("picOuter");
    picOuter->setBorderStyle(1);
    Place(picOuter, 510, 1290, 1995, 615, 5);

    picInner = new PictureBox(picOuter);
    picInner->setObjectName("picInner");
    picInner->setAutoSize(true);
    Place(picInner, 300, 90, 975, 465, 9);

    VScroll1 = new ScrollBar(Qt::Vertical, Splitter2);
    VScroll1->setObjectName("VScroll1");
    Place(VScroll1, 90, 1260, 165, 615, 7);
    HScroll1 = new ScrollBar(Qt::Horizontal, Splitter2);
    HScroll1->setObjectName("HScroll1");
    Place(HScroll1, 510, 2040, 855, 195, 8);
    VScroll1->setMin(0);
    HScroll1->setMin(0);
}

void frmMain::BuildMapView() {
    MapViewer = new MapView(
        *picInner, *picOuter, *HScroll1, *VScroll1, [this] { SetScrollRanges(); }, this);
    connect(MapViewer, &MapView::PositionChanged, this, [this](const QString& text) {
        sbStatusBar->SetPanelText(StatusBar::PanelOf("Position"), text);
    });
    connect(MapViewer, &MapView::ZoomChanged, this, [this](const QString& text) {
        sbStatusBar->SetPanelText(StatusBar::PanelOf("Zoom"), text);
    });
    sbStatusBar->SetPanelText(StatusBar::PanelOf("Zoom"), MapView::ZoomText(MapViewer->Zoom()));
    connect(MapViewer, &MapView::PictureDecoded, this, [this](const QString& error) {
        if (!error.isEmpty())
            sbStatusBar->SetPanelText(1,
                                      "The map picture could not be decoded whole: " + error + ".");
    });
}

frmMain::~frmMain() = default;

void frmMain::BuildMenus() {
    auto item = [this](QMenu* menu, const QString& name, const QString& caption) {
        QAction* a = caption == "-" ? menu->addSeparator() : menu->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    auto top = [this](const QString& name, const QString& caption, QMenu*& menu) {
        menu = MenuBar->addMenu(caption);
        menu->setObjectName(name + "Menu");
        menu->menuAction()->setObjectName(name);
        return menu->menuAction();
    };
    QMenu* m = nullptr;
    mnuFile = top("mnuFile", "&File", m);
    mnuFileProperties = item(m, "mnuFileProperties", "Propert&ies");
    mnuFileBar0 = item(m, "mnuFileBar0", "-");
    mnuFilePageSetup = item(m, "mnuFilePageSetup", "Page Set&up...");
    mnuFilePrintPreview = item(m, "mnuFilePrintPreview", "Print Pre&view");
    mnuFilePrint = item(m, "mnuFilePrint", "&Print...");
    mnuFileBar1 = item(m, "mnuFileBar1", "-");
    mnuFileExit = item(m, "mnuFileExit", "E&xit");
    mnuView = top("mnuView", "&View", m);
    mnuViewToolbar = item(m, "mnuViewToolbar", "&Toolbar");
    mnuViewStatusBar = item(m, "mnuViewStatusBar", "Status &Bar");
    mnuViewBar0 = item(m, "mnuViewBar0", "-");
    mnuViewRefresh = item(m, "mnuViewRefresh", "&Refresh");
    mnuViewBar1 = item(m, "mnuViewBar1", "-");
    mnuViewZoomIn = item(m, "mnuViewZoomIn", "Zoom &In");
    mnuViewZoomOut = item(m, "mnuViewZoomOut", "Zoom &Out");
    mnuViewFitMap = item(m, "mnuViewFitMap", "&Fit Map");
    mnuViewActualSize = item(m, "mnuViewActualSize", "&Actual Size");
    mnuViewFitEachMap = item(m, "mnuViewFitEachMap", "Fit &Each Map");
    mnuViewBar2 = item(m, "mnuViewBar2", "-");
    mnuViewCoverage = item(m, "mnuViewCoverage", "&Coverage");
    mnuTools1 = top("mnuTools1", "&Tools", m);
    mnuToolsEditInf = item(m, "mnuToolsEditInf", "Edit Inf file...");
    mnuToolsNewInf = item(m, "mnuToolsNewInf", "&New Inf file...");
    mnuToolsExportWorldFile = item(m, "mnuToolsExportWorldFile", "Export &World File...");
    mnuToolsImportMap = item(m, "mnuToolsImportMap", "&Import Map...");
    mnuToolsExportKmz = item(m, "mnuToolsExportKmz", "Export &KMZ...");
    mnuToolsExportOzi = item(m, "mnuToolsExportOzi", "Export &OziExplorer Map...");
    mnuToolsFindMaps = item(m, "mnuToolsFindMaps", "&Find Maps...");
    mnuToolsBar0 = item(m, "mnuToolsBar0", "-");
    mnuToolsCalibrateMap = item(m, "mnuToolsCalibrateMap", "&Calibrate Map...");
    mnuToolsExportDevice = item(m, "mnuToolsExportDevice", "Export for De&vices...");
    mnuHelp = top("mnuHelp", "&Help", m);
    mnuHelpContents = item(m, "mnuHelpContents", "&Contents");
    mnuHelpSearchForHelpOn = item(m, "mnuHelpSearchForHelpOn", "&Search For Help On...");
    mnuHelpBar0 = item(m, "mnuHelpBar0", "-");
    mnuHelpAbout = item(m, "mnuHelpAbout", "&About ");
    SetMenuKeysAndChecks();
    ConnectMenus();
}

// The view's zoom keys and Find Maps' key, and the items that carry a check mark.
void frmMain::SetMenuKeysAndChecks() {
    mnuViewZoomIn->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    mnuViewZoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    mnuViewFitMap->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    mnuViewActualSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    mnuToolsFindMaps->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuViewFitEachMap->setCheckable(true);
    for (QAction* a : {mnuViewToolbar, mnuViewStatusBar}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
}

void frmMain::ConnectMenus() {
    // The handlers flip the check marks themselves, so Qt's own flip is undone first.
    auto toggle = [](QAction* a, auto handler) {
        return [a, handler] {
            a->setChecked(!a->isChecked());
            handler();
        };
    };
    connect(mnuFilePageSetup, &QAction::triggered, this, [this] { mnuFilePageSetup_Click(); });
    connect(mnuFilePrintPreview, &QAction::triggered, this,
            [this] { mnuFilePrintPreview_Click(); });
    connect(mnuFilePrint, &QAction::triggered, this, [this] { mnuFilePrint_Click(); });
    connect(mnuFileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
    connect(mnuViewToolbar, &QAction::triggered, this,
            toggle(mnuViewToolbar, [this] { mnuViewToolbar_Click(); }));
    connect(mnuViewStatusBar, &QAction::triggered, this,
            toggle(mnuViewStatusBar, [this] { mnuViewStatusBar_Click(); }));
    connect(mnuViewZoomIn, &QAction::triggered, this, [this] { mnuViewZoomIn_Click(); });
    connect(mnuViewZoomOut, &QAction::triggered, this, [this] { mnuViewZoomOut_Click(); });
    connect(mnuViewFitMap, &QAction::triggered, this, [this] { mnuViewFitMap_Click(); });
    connect(mnuViewActualSize, &QAction::triggered, this, [this] { mnuViewActualSize_Click(); });
    connect(mnuViewFitEachMap, &QAction::triggered, this,
            toggle(mnuViewFitEachMap, [this] { mnuViewFitEachMap_Click(); }));
    connect(mnuToolsEditInf, &QAction::triggered, this, [this] { mnuToolsEditInf_Click(); });
    connect(mnuToolsNewInf, &QAction::triggered, this, [this] { mnuToolsNewInf_Click(); });
    connect(mnuToolsExportWorldFile, &QAction::triggered, this,
            [this] { mnuToolsExportWorldFile_Click(); });
    connect(mnuToolsImportMap, &QAction::triggered, this, [this] { mnuToolsImportMap_Click(); });
    connect(mnuToolsExportKmz, &QAction::triggered, this, [this] { mnuToolsExportKmz_Click(); });
    connect(mnuToolsExportOzi, &QAction::triggered, this, [this] { mnuToolsExportOzi_Click(); });
    connect(mnuToolsFindMaps, &QAction::triggered, this, [this] { mnuToolsFindMaps_Click(); });
    connect(mnuToolsCalibrateMap, &QAction::triggered, this,
            [this] { mnuToolsCalibrateMap_Click(); });
    connect(mnuToolsExportDevice, &QAction::triggered, this,
            [this] { mnuToolsExportDevice_Click(); });
    connect(mnuViewRefresh, &QAction::triggered, this, [this] { mnuViewRefresh_Click(); });
    // F5 reads the folder again from anywhere in the window; the menu item shows no key.
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            [this] { mnuViewRefresh_Click(); });
    connect(mnuViewCoverage, &QAction::triggered, this, [this] { mnuViewCoverage_Click(); });
    connect(mnuHelpContents, &QAction::triggered, this, [this] { mnuHelpContents_Click(); });
    connect(mnuHelpSearchForHelpOn, &QAction::triggered, this,
            [this] { mnuHelpSearchForHelpOn_Click(); });
    connect(mnuHelpAbout, &QAction::triggered, this, [this] { mnuHelpAbout_Click(); });
}

void frmMain::DescribeControls() {
    using Accessibility::Describe;
    setAccessibleDescription("The map definitions of Stelmar's Maps folder, and the chosen "
                             "map's details and picture");
    Describe(Client, QAccessible::Pane, "Main window");
    Describe(tbToolBar, QAccessible::ToolBar, "Toolbar");
    for (QAction* a : tbToolBar->actions())
        if (QWidget* button = tbToolBar->widgetForAction(a))
            button->setAccessibleName(a->toolTip());
    Describe(sbStatusBar, QAccessible::StatusBar, "Status bar");
    Describe(Splitter1, QAccessible::Splitter, "Library and map");
    Describe(Splitter2, QAccessible::Splitter, "Details and picture");
    for (Splitter* s : {Splitter1, Splitter2})
        Accessibility::SetRole(s->SplitterBar, QAccessible::Separator);
    DirTree->setAccessibleName("Map library");
    lstDetails->setAccessibleName("Map details");
    // The frame is the picture to the keyboard and to a screen reader: it stays in view
    // whatever part of the map the picture inside it shows.
    Describe(picOuter, QAccessible::Graphic, "Map picture");
    picOuter->setFocusPolicy(Qt::StrongFocus);
    VScroll1->setAccessibleName("Map picture, up and down");
    HScroll1->setAccessibleName("Map picture, across");
}

void frmMain::DockBars() {
    // The toolbar and the status bar are docked: full width, at the top and the bottom.
    const float w = ScaleWidth(), h = ScaleHeight();
    Twips::Move(tbToolBar, 0, 0, w, Twips::Height(tbToolBar));
    const float sbh = Twips::Height(sbStatusBar);
    Twips::Move(sbStatusBar, 0, std::max(0.0f, h - sbh), w, sbh);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu &&
        (watched == DirTree || watched == DirTree->viewport())) {
        DirTree_ContextMenu(*static_cast<QContextMenuEvent*>(event));
        return true;
    }
    if (watched == Client && event->type() == QEvent::Resize) {
        DockBars();
        Form_Resize();
    }
    return FormOf<frmMain>::eventFilter(watched, event);
}
