#pragma once
// The main window: the library tree, the details list and the map view between a toolbar and
// a status bar, under the menu bar. Its member functions live beside this header, one file per
// concern: frmMain.cpp (controls and menus), frmMainLife.cpp (load, unload), frmMainLayout.cpp,
// frmMainTree.cpp, frmMainDetails.cpp, frmMainEditInf.cpp, frmMainNewInf.cpp,
// frmMainExport.cpp, frmMainImport.cpp, frmMainCoverage.cpp, frmMainFind.cpp, frmMainGrid.cpp
// and frmMainCommands.cpp.

#include "georef/Georef.h"
#include "library/LibraryWatcher.h"
#include "library/MapLibrary.h"
#include "library/PlaceIndex.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "view/MapView.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"
#include "view/Splitter.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class frmMain : public FormOf<frmMain> {
    Q_OBJECT
public:
    // The window shows the application's model, which must outlive it: its load reads the Maps
    // folder into the library (empty until then) and has the watcher follow the folder.
    frmMain(Library::MapLibrary& maps, Library::LibraryWatcher& watcher,
            const Library::PlaceIndex& places);
    ~frmMain() override;
    // The entry routine makes the window, handing it the model, and stores its reference before
    // loading it.
    using FormOf<frmMain>::Create;

    QWidget* ClientArea() const override { return Client; }

    // Controls.
    QMenuBar* MenuBar;
    QWidget* Client;
    ToolBar* tbToolBar;
    StatusBar* sbStatusBar;
    Splitter* Splitter1;
    TreeView* DirTree;
    Splitter* Splitter2;
    QListWidget* lstDetails;
    PictureBox* picOuter;
    PictureBox* picInner;
    ScrollBar* VScroll1;
    ScrollBar* HScroll1;
    CommonDialog dlgCommonDialog;
    std::unique_ptr<ImageList> imlToolbarIcons;
    std::unique_ptr<ImageList> DriveImages;

    QAction *mnuFile, *mnuFileProperties, *mnuFileBar0, *mnuFilePageSetup, *mnuFilePrintPreview,
        *mnuFilePrint, *mnuFileBar1, *mnuFileExit;
    QAction *mnuView, *mnuViewToolbar, *mnuViewStatusBar, *mnuViewBar0, *mnuViewRefresh;
    QAction *mnuViewBar1, *mnuViewZoomIn, *mnuViewZoomOut, *mnuViewFitMap, *mnuViewActualSize;
    // Fit Each Map: a check item; while it is checked every map shown is fitted, whatever zoom
    // the one before had. Kept in the settings as FitEachMap (0 or 1).
    QAction* mnuViewFitEachMap;
    QAction *mnuViewBar2, *mnuViewCoverage, *mnuViewBar3;
    // Grid: a submenu of radio items, the grid the Position panel writes places in and whose
    // lines Grid Lines draws; kept in the settings as Grid (latlon, bng, irish, itm, utm or
    // mgrs; latlon when absent or unknown).
    QAction *mnuViewGrid, *mnuViewGridLatLon, *mnuViewGridBng, *mnuViewGridIrish, *mnuViewGridItm,
        *mnuViewGridUtm, *mnuViewGridMgrs;
    // Grid Lines: a check item, off at first; the chosen grid's lines over a placed map. Kept as
    // GridLines (0 or 1).
    QAction* mnuViewGridLines;
    QAction *mnuTools1, *mnuToolsEditInf, *mnuToolsNewInf, *mnuToolsExportWorldFile;
    QAction *mnuToolsImportMap, *mnuToolsExportKmz, *mnuToolsExportOzi;
    QAction* mnuToolsFindMaps;
    QAction *mnuToolsBar0, *mnuToolsCalibrateMap;
    QAction* mnuToolsExportDevice;
    QAction *mnuHelp, *mnuHelpContents, *mnuHelpSearchForHelpOn, *mnuHelpBar0, *mnuHelpAbout;
    // A definition's context menu in the tree (it acts on the node it was opened on, which it
    // selects).
    QMenu* mnuDefinition;
    QAction *mnuDefinitionExportWorldFile, *mnuDefinitionShowInCoverage, *mnuDefinitionCopyPath;

    // Life.
    void Form_Load() override;
    void Form_Unload(std::int16_t& Cancel) override;

    // Layout.
    void Form_Resize();
    void Splitter2_Resize();
    void HScroll1_Change();
    void VScroll1_Change();
    // Fits the scroll bars to the picture; a failure is left to the caller.
    void SetScrollRanges();
    // Zoom, Fit, pan, the wheel and the position under the pointer for picInner.
    MapView* MapViewer = nullptr;

    // Library.
    void FillLibraryTree();
    void CountMapFiles(const std::string& folder, long& count);
    void AddDriveNode(int driveCode, const std::string& mapsFolder);
    void AddMapFiles(const std::string& folder);
    void DirTree_Click();
    void mnuToolsEditInf_Click();
    void mnuToolsNewInf_Click();
    void mnuToolsExportWorldFile_Click();
    void mnuToolsImportMap_Click();
    void mnuToolsExportKmz_Click();
    void mnuToolsExportOzi_Click();
    void mnuViewRefresh_Click();
    void mnuViewCoverage_Click();
    // A definition's menu, where the user points or on the node with the focus.
    void DirTree_ContextMenu(const QContextMenuEvent& event);
    // The coverage window with the selected map chosen there.
    void mnuDefinitionShowInCoverage_Click();
    // The selected definition's Windows path to the clipboard.
    void mnuDefinitionCopyPath_Click();
    // The library of the Maps folder: the tree, the details and the coverage window show its
    // entries and follow its changes.
    Library::MapLibrary* const Maps;
    // Follows the Maps folder for other programs' changes, file by file.
    Library::LibraryWatcher* const Watcher;
    // Which of the library's maps show a place: the coverage window and Find Maps ask it.
    const Library::PlaceIndex* const Places;
    // The map picture's context menu, opened by the pointer or the keyboard over the picture;
    // PicturePlace is the place it was opened on (latitude and longitude in minutes of arc),
    // when the picture is placed and the point is on it.
    QMenu* mnuPicture;
    QAction* mnuPictureCopyPosition;
    QAction* mnuPictureMapsCovering;
    std::optional<std::pair<float, float>> PicturePlace;
    void picInner_ContextMenu(QPoint pointInInner, QPoint global);
    // Copy Position: the place the menu was opened on, as the position panel writes it, to the
    // clipboard. Ctrl+Shift+C copies the place under the pointer, or else at the frame's
    // centre. Nothing is copied (a beep) where the picture shows no place.
    void mnuPictureCopyPosition_Click();
    void CopyPosition(const std::optional<std::pair<float, float>>& place);
    // Tools > Find Maps..., and Maps Covering This Place: the Find Maps window, on the place
    // given as a text (its box keeps what it holds when none is given).
    void mnuToolsFindMaps_Click();
    // Tools > Calibrate Map...: a scan chosen with the open dialog, placed by points in the
    // Calibrate Map window; the map saved is selected.
    void mnuToolsCalibrateMap_Click();
    // Tools > Export for Devices...: the window for the selected map or the view's extent.
    void mnuToolsExportDevice_Click();
    void mnuPictureMapsCovering_Click();
    void FindMaps(const QString& place = {});
    // A map chosen by place: selected in the tree (its details and picture follow), the map
    // view centred on the place (minutes of arc) and the place marked on it.
    void ShowMapAt(const QString& name, float latitude, float longitude);
    // Reads the Maps folder again, keeping the selection, the drive node's expansion and the
    // scroll position; a map whose file has gone is no longer shown.
    void RefreshLibrary();
    // Reads one definition of the Maps folder again by the name the tree shows (a file new to
    // the library gets its node), then selects its node, the drive node expanded: its details
    // and picture follow. False when there is no such definition.
    bool SelectDefinition(const std::string& name);
    // Reads one definition again (after an edit) by its Windows path: its icon and, when it is
    // selected, its details follow.
    void RefreshFileNode(const std::string& path);
    // Shows an entry's picture in the map view, placed by its corners (the part in view at
    // once, the rest decoded in the background). Picture errors pass as CoreError.
    void ShowMapPicture(const Library::Entry& entry);
    long FileCounter = 0;
    // The key of the node the file nodes hang under.
    QString DriveNodeKey;

    // Commands.
    void tbToolBar_ButtonClick(const QString& key);
    void mnuFilePageSetup_Click();
    void mnuFilePrintPreview_Click();
    void mnuFilePrint_Click();
    void mnuFileExit_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuViewZoomIn_Click();
    void mnuViewZoomOut_Click();
    void mnuViewFitMap_Click();
    void mnuViewActualSize_Click();
    void mnuViewFitEachMap_Click();
    // One of View > Grid's items chosen: the map view writes places in its grid.
    void mnuViewGrid_Click(QAction* item);
    void mnuViewGridLines_Click();
    void mnuHelpContents_Click();
    void mnuHelpSearchForHelpOn_Click();
    void mnuHelpAbout_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void SetMenuKeysAndChecks();
    void ConnectMenus();
    void BuildControls();
    void BuildPictureControls();
    void BuildMapView();
    void BuildContextMenus();
    // View > Grid and Grid Lines, after Coverage, and their settings read at load.
    void BuildGridMenu(QMenu* view);
    void LoadGridSettings();
    // The library's entry of the selected node; nothing for another node or none.
    const Library::Entry* SelectedEntry() const;
    // Roles, names and descriptions for assistive technology.
    void DescribeControls();
    void BuildPictureMenu();
    // The tree's nodes read from the Maps folder (the fill without its progress window).
    void FillNodes();
    void DockBars();
    // The tree follows the library: all afresh, or one entry at a time. An entry changed, or
    // read again by a click, shows its details and picture when its node is selected.
    void MirrorLibrary();
    void EntryAdded(int index);
    void EntryChanged(int index);
    void EntryRemoved(int index, const std::string& name);
    QTreeWidgetItem* FileNode(int index) const;
    // The details list, the picture and the status text of an entry.
    void ShowDetails(const Library::Entry& entry);
    // The picture of an entry that names one, in the map view; false, with why in `problem`,
    // when it cannot be shown.
    bool ShowEntryPicture(const Library::Entry& entry, QString& problem);
    // The eight lines of the details list.
    void ListDetails(const Library::Entry& entry);
    // Nothing shown: no details, no picture.
    void ClearDetails();
    // The selected map exported for other programs, asking before replacing a file.
    void ExportSelected(Georef::ExportFormat format, const QString& title);
    // What Find Maps showed when it was last closed: the place typed and the map chosen.
    QString foundPlace_, foundMap_;
};

// The Maps folder a file node lies in, kept on its parent node when the tree was filled (so a
// volume label holding ")" cannot mislead it).
std::string NodeFolder(const QTreeWidgetItem* fileNode);
// True for the nodes that stand for map definition files (the third level).
bool IsFileNode(const QTreeWidgetItem* node);
