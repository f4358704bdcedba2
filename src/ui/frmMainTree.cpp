// The library tree: the map definition files of the host's Maps folder under the node of the
// drive that holds it, filled once while the progress window counts them.
#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "platform/DirList.h"
#include "platform/Drive.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "ui/CoreText.h"
#include "ui/frmMain.h"
#include "ui/frmProgress.h"

#include <QScrollBar>
#include <QTimer>

namespace {

constexpr int kFolderRole = Qt::UserRole + 2;

// Each word's first letter upper case, the others lower case.
std::string ProperCase(const std::string& text) {
    std::string out = Platform::Lower(text);
    bool start = true;
    for (char& c : out) {
        if (start) c = Platform::UpperChar(c);
        start = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }
    return out;
}

const char* DriveImage(int type) {
    static const char* const images[] = {"unknown", "", "remove", "fixed", "remote", "cd", "ram"};
    return images[type];
}

} // namespace

void frmMain::FillLibraryTree() {
    frmProgress& progress = frmProgress::Instance();
    progress.ShowModeless();
    progress.repaint(); // nothing else is painted until the fill ends

    const std::string& host = StartupCode::HostFolder;
    const Platform::ReadBatch pass; // one pass over the Maps folder: looked up once
    long count = 0;
    CountMapFiles(host + "\\Maps", count);
    progress.ProgressBar1->setMax(float(count + 1));
    FillNodes();
    progress.Unload();
    // The folder is followed from when the window is on screen: the start shows its tree first.
    QTimer::singleShot(0, Watcher, [this, maps = host + "\\Maps"] { Watcher->Watch(maps); });
}

void frmMain::FillNodes() {
    const std::string& host = StartupCode::HostFolder;
    const Platform::ReadBatch pass;
    FileCounter = 0;
    DirTree->ClearNodes();
    DirTree->AddNode("", "root", "Map Locations", "folder");
    AddDriveNode(host.empty() ? 0 : static_cast<unsigned char>(host[0]), host + "\\Maps");
    if (QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey)) DirTree->EnsureVisible(drive);
    AddMapFiles(host + "\\Maps\\");
    UpdateCoverage();
}

void frmMain::RefreshLibrary(const std::string& select) {
    // What the user sees of the tree stays: the selected map (or another named), the drive
    // node's expansion, the scroll position.
    QTreeWidgetItem* before = DirTree->SelectedItem();
    const QString wanted = !select.empty()      ? FromCore(select)
                           : IsFileNode(before) ? before->text(0)
                           : before             ? TreeView::KeyOf(before)
                                                : QString();
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    const bool expanded = drive && drive->isExpanded();
    const int scroll = DirTree->verticalScrollBar()->value();
    const bool hadMap = IsFileNode(before);

    FillNodes();
    Watcher->Watch(StartupCode::HostFolder + "\\Maps");
    if (QTreeWidgetItem* d = DirTree->Node(DriveNodeKey))
        d->setExpanded(expanded || !select.empty());
    QTreeWidgetItem* again = nullptr;
    if (!wanted.isEmpty()) {
        again = DirTree->Node(wanted);
        if (!again)
            for (auto* n : DirTree->findItems(wanted, Qt::MatchExactly | Qt::MatchRecursive))
                if (IsFileNode(n)) again = n;
    }
    DirTree->verticalScrollBar()->setValue(scroll);
    if (again) {
        DirTree->setCurrentItem(again); // a new node: its details and picture afresh
    } else if (hadMap) {
        // The map shown is gone: so are its details and picture.
        lstDetails->clear();
        MapViewer->ClearPicture();
        MapViewer->PictureChanged();
        SetScrollRanges();
    }
}

void frmMain::CountMapFiles(const std::string& folder, long& count) {
    count = 0;
    Platform::DirListing listing;
    for (std::string name = listing.First(folder + "\\*.inf"); !name.empty(); name = listing.Next())
        ++count;
}

void frmMain::AddDriveNode(int driveCode, const std::string& mapsFolder) {
    const std::string& host = StartupCode::HostFolder;
    // A lower-case drive letter names the same drive; a POSIX path lies under Z:.
    char letter = 0;
    if (driveCode >= 'a' && driveCode <= 'z') driveCode -= 32;
    if (driveCode >= 'A' && driveCode <= 'Z' && host.size() >= 2 && host[1] == ':')
        letter = char(driveCode);
    else if (driveCode == '/')
        letter = 'Z';
    const std::string L(1, letter);
    const int type = letter ? Platform::GetDriveType(L + ":\\") : Platform::DriveNoRootDir;

    QString key, text, image;
    if (letter && type >= 0 && type <= 6 && type != Platform::DriveNoRootDir) {
        key = "root" + QString::number(int(static_cast<unsigned char>(letter)));
        const std::string label = type == Platform::DriveRemovable
                                      ? std::string()
                                      : ProperCase(Platform::GetVolumeLabel(L + ":")) + " ";
        text = FromCore(label + "(" + L + ":) " + mapsFolder);
        image = DriveImage(type);
    } else {
        // No drive node can be made (no root directory, a network path): the maps are still
        // listed, under a folder node of the same shape.
        std::string where = letter ? L + ":" : host.substr(0, host.find('\\', 2));
        if (host.rfind("\\\\", 0) == 0) {
            const std::size_t share = host.find('\\', host.find('\\', 2) + 1);
            where = host.substr(0, share);
        }
        key = "rootfolder";
        text = FromCore("(" + where + ") " + mapsFolder);
        image = "folder";
    }
    DriveNodeKey = key;
    if (QTreeWidgetItem* node = DirTree->AddNode("root", key, text, image))
        node->setData(0, kFolderRole, QByteArray::fromStdString(mapsFolder));
}

void frmMain::AddMapFiles(const std::string& folder) {
    ProgressBar* bar = frmProgress::Loaded() ? frmProgress::Instance().ProgressBar1 : nullptr;
    Platform::DirListing listing;
    std::string name = listing.First(folder);
    if (!listing.Error().empty()) {
        // Nothing to list is not the same as a folder that cannot be read: say which.
        const QString why = "The Maps folder " + FromCore(folder.substr(0, folder.size() - 1)) +
                            " cannot be read: " + FromCore(listing.Error()) + ".";
        if (QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey)) drive->setToolTip(0, why);
        sbStatusBar->SetPanelText(1, why);
    }
    DirTree->BeginBatch();
    for (; !name.empty(); name = listing.Next()) {
        if (name.size() < 3 || Platform::Upper(name.substr(name.size() - 3)) != "INF") continue;
        float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
        std::string image, tl, br; // this file's own answer decides its icon
        MapCode::ReadMapDefinition(folder, folder + name, tlLon, tlLat, brLon, brLat, image, tl,
                                   br);
        const QString n = FromCore(name);
        DirTree->AddNode(DriveNodeKey, n, n, image.empty() ? "FileX" : "File");
        ++FileCounter;
        if (bar) {
            // Names the count did not see (mapinf) raise the maximum, keeping the spare step.
            if (float(FileCounter) >= bar->Max()) bar->setMax(float(FileCounter + 1));
            bar->setValue(float(FileCounter));
        }
    }
    DirTree->EndBatch();
}

// The Maps folder a file node lies in, kept on its parent when the tree was filled.
std::string NodeFolder(const QTreeWidgetItem* fileNode) {
    return fileNode->parent()->data(0, kFolderRole).toByteArray().toStdString();
}

bool IsFileNode(const QTreeWidgetItem* node) {
    return node && node->parent() && node->parent()->parent();
}
