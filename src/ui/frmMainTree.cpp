// The library tree: the map definition files of the host's Maps folder under the node of the
// drive that holds it, filled once while the progress window counts them.
#include "app/StartupCode.h"
#include "platform/DirList.h"
#include "platform/Drive.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "ui/CoreText.h"
#include "ui/frmMain.h"
#include "ui/frmProgress.h"

#include <QScrollBar>
#include <QSignalBlocker>
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
    progress.ShowPainted(); // nothing else is painted until the fill ends

    const std::string& host = StartupCode::HostFolder;
    const Platform::ReadBatch pass; // one pass over the Maps folder: looked up once
    long count = 0;
    CountMapFiles(host + "\\Maps", count);
    progress.ProgressBar1->setMax(float(count + 1));
    FillNodes();
    progress.Unload();
    // The folder is followed from when the window is on screen: the start shows its tree first.
    QTimer::singleShot(0, Watcher, &Library::LibraryWatcher::Watch);
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
}

void frmMain::RefreshLibrary() {
    // What the user sees of the tree stays: the selected map, the drive node's expansion, the
    // scroll position.
    QTreeWidgetItem* before = DirTree->SelectedItem();
    const QString wanted = IsFileNode(before) ? before->text(0)
                           : before           ? TreeView::KeyOf(before)
                                              : QString();
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    const bool expanded = drive && drive->isExpanded();
    const int scroll = DirTree->verticalScrollBar()->value();
    const bool hadMap = IsFileNode(before);

    FillNodes();
    Watcher->Watch();
    if (QTreeWidgetItem* d = DirTree->Node(DriveNodeKey)) d->setExpanded(expanded);
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
        ClearDetails(); // the map shown is gone: so are its details and picture
    }
}

bool frmMain::SelectDefinition(const std::string& name) {
    const int index = Maps->Reread(name);
    QTreeWidgetItem* node = FileNode(index);
    if (!node) return false;
    if (QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey)) drive->setExpanded(true);
    DirTree->setCurrentItem(node);
    DirTree->scrollToItem(node);
    return true;
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
    // The library reads the folder in one pass; the nodes follow its entries (MirrorLibrary).
    // What the tree shows comes from the definitions alone: a picture is read when its map is.
    const std::string maps = folder.substr(0, folder.find_last_not_of('\\') + 1);
    Maps->Load(
        maps,
        [&](int done) {
            FileCounter = done;
            if (!bar) return;
            // Names the count did not see (mapinf) raise the maximum, keeping the spare step.
            if (float(done) >= bar->Max()) bar->setMax(float(done + 1));
            bar->setValue(float(done));
        },
        Library::Depth::Definitions);
}

namespace {

QString IconOf(const Library::Entry& entry) {
    return entry.NamesPicture() ? "File" : "FileX";
}

// A red-cross node says why its picture cannot be shown.
void Describe(QTreeWidgetItem* node, const Library::Entry& entry) {
    node->setToolTip(0, entry.NamesPicture() ? QString() : FromCore(entry.reason));
}

} // namespace

void frmMain::MirrorLibrary() {
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    if (!drive) return;
    // Nothing to list is not the same as a folder that cannot be read: say which.
    const QString why = Maps->Error().empty()
                            ? QString()
                            : "The Maps folder " + FromCore(Maps->Folder()) +
                                  " cannot be read: " + FromCore(Maps->Error()) + ".";
    drive->setToolTip(0, why);
    if (!why.isEmpty()) sbStatusBar->SetPanelText(1, why);
    QTreeWidgetItem* selected = DirTree->SelectedItem();
    const QString selectedName = IsFileNode(selected) ? selected->text(0) : QString();
    {
        const QSignalBlocker quiet(DirTree); // the selection is put back below
        while (drive->childCount() > 0) DirTree->RemoveNode(drive->child(drive->childCount() - 1));
        DirTree->BeginBatch();
        for (const Library::Entry& e : Maps->Entries()) {
            const QString name = FromCore(e.name);
            if (QTreeWidgetItem* node = DirTree->AddNode(DriveNodeKey, name, name, IconOf(e)))
                Describe(node, e);
        }
        DirTree->EndBatch();
    }
    if (!selectedName.isEmpty()) {
        if (QTreeWidgetItem* again = DirTree->Node(selectedName)) {
            const QSignalBlocker quiet(DirTree);
            DirTree->setCurrentItem(again);
        } else {
            ClearDetails();
        }
    }
}

QTreeWidgetItem* frmMain::FileNode(int index) const {
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    return drive && index >= 0 && index < drive->childCount() ? drive->child(index) : nullptr;
}

void frmMain::EntryAdded(int index) {
    const Library::Entry& e = Maps->Entries()[std::size_t(index)];
    const QString name = FromCore(e.name);
    if (QTreeWidgetItem* node = DirTree->InsertNode(DriveNodeKey, index, name, name, IconOf(e)))
        Describe(node, e);
}

void frmMain::EntryChanged(int index) {
    const Library::Entry& e = Maps->Probed(index); // its picture is shown when it is selected
    if (QTreeWidgetItem* node = FileNode(index)) {
        DirTree->SetImage(node, IconOf(e));
        Describe(node, e);
        // The map shown was changed by another program, or read again by a click: its
        // details and picture follow.
        if (DirTree->SelectedItem() == node) ShowDetails(e);
    }
}

void frmMain::EntryRemoved(int index, const std::string&) {
    if (QTreeWidgetItem* node = FileNode(index)) {
        const bool shown = node->isSelected();
        {
            const QSignalBlocker quiet(DirTree); // the selection moving on shows nothing new
            DirTree->RemoveNode(node);
            if (shown) DirTree->setCurrentItem(nullptr);
        }
        if (shown) ClearDetails();
    }
}

// The Maps folder a file node lies in, kept on its parent when the tree was filled.
std::string NodeFolder(const QTreeWidgetItem* fileNode) {
    return fileNode->parent()->data(0, kFolderRole).toByteArray().toStdString();
}

bool IsFileNode(const QTreeWidgetItem* node) {
    return node && node->parent() && node->parent()->parent();
}
