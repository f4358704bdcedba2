#include "app/StartupCode.h"
#include "platform/Drive.h"
#include "support/AppTest.h"
#include "ui/frmMain.h"
#include "ui/frmProgress.h"

namespace {
const char* const kMap = "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.gif\r\n";
} // namespace

using LibraryTreeTest = AppTest;

TEST_F(LibraryTreeTest, TheTreeMirrorsTheLibrary) {
    WriteMap("b.inf", kMap);
    WriteMap("A.INF", kMap);
    WriteMap("c.inf", "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nnothere\r\n");
    WriteMap("mapinf", kMap); // listed, though "*.inf" does not count it
    TempHost::Write(host.OnC(".windows-label"), "NAVDATA\n");

    frmMain& main = Start();
    QTreeWidgetItem* root = main.DirTree->topLevelItem(0);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 1);
    QTreeWidgetItem* drive = root->child(0);
    EXPECT_EQ(drive->text(0), "Navdata (C:) C:\\Stelmar\\Maps");
    EXPECT_FALSE(drive->isExpanded());
    EXPECT_FALSE(frmProgress::Loaded()); // removed at the end of the fill

    // A node per entry, in the library's order, with its icon; a red cross says why.
    EXPECT_EQ(FileNodes(main), (QStringList{"A.INF", "b.inf", "c.inf", "mapinf"}));
    ASSERT_EQ(main.Maps->Entries().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(TreeView::ImageOf(drive->child(i)), i == 2 ? "FileX" : "File");
        EXPECT_EQ(drive->child(i)->toolTip(0).toStdString(),
                  i == 2 ? main.Maps->Entries()[2].reason : "");
    }
    EXPECT_EQ(main.FileCounter, 4);
}

TEST_F(LibraryTreeTest, DriveNodesByDriveType) {
    int asked = 0;
    Platform::DriveInfo info;
    Platform::SetDriveInfoOverride([&](char letter) -> std::optional<Platform::DriveInfo> {
        ++asked;
        if (letter != 'C') return std::nullopt;
        return info;
    });
    struct Case {
        int type;
        std::string label, folder;
        QString key, text, image;
        int asks; // type, then the label unless removable
    } cases[] = {
        {3, "MY MAPS", "c:\\stelmar", "root67", "My Maps (C:) c:\\stelmar\\Maps", "fixed", 2},
        {3, "", "C:\\Stelmar", "root67", " (C:) C:\\Stelmar\\Maps", "fixed", 2},
        {2, "FLOPPY", "C:\\Stelmar", "root67", "(C:) C:\\Stelmar\\Maps", "remove", 1},
        // No drive node can be made: the maps still hang under a node that names the folder.
        {1, "", "C:\\Stelmar", "rootfolder", "(C:) C:\\Stelmar\\Maps", "folder", 1},
        {3, "", "\\\\server\\share\\Stelmar", "rootfolder",
         "(\\\\server\\share) \\\\server\\share\\Stelmar\\Maps", "folder", 0},
    };
    WriteMap("a.inf", kMap);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        info = {c.type, c.label};
        host.WriteSettings("Tormund Systems", "[Stelmar32]\nProgram Folder=" + c.folder + "\n");
        asked = 0;
        StartupCode::Main();
        frmMain& main = *StartupCode::MainWindow;
        QTreeWidgetItem* drive = main.DirTree->topLevelItem(0)->child(0);
        ASSERT_NE(drive, nullptr);
        EXPECT_EQ(TreeView::KeyOf(drive), c.key);
        EXPECT_EQ(drive->text(0), c.text);
        EXPECT_EQ(TreeView::ImageOf(drive), c.image);
        EXPECT_EQ(asked, c.asks);
        EXPECT_EQ(drive->childCount(), c.asks ? 1 : 0);
        main.Unload();
        Flush();
    }
}
