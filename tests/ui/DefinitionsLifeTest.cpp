// Definitions coming and going: new ones for new pictures (with or without world files), world
// files out and back in, Refresh, and the tree following other programs' changes.
#include "georef/Georef.h"
#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "support/AppTest.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {
// A 2 x 2 GIF (Qt writes none).
const std::string kGif("GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,\x00\x00\x00\x00"
                       "\x02\x00\x02\x00\x00\x02\x02\x84\x51\x00;",
                       35);
} // namespace

class DefinitionsLifeTest : public AppTest {
protected:
    std::string Maps(const std::string& name = "") { return host.OnC("Stelmar/Maps/" + name); }
    // Tools > New Inf file... picking `picked` (a native path); `user` acts in the editor.
    bool NewInf(frmMain& m, const std::string& picked,
                const std::function<void(frmInfEdit&)>& user) {
        SetFileOpenHook([&](const FileOpenRequest& r) -> std::optional<QString> {
            EXPECT_EQ(std::filesystem::canonical(r.folder.toStdString()),
                      std::filesystem::canonical(Maps()));
            return QString::fromStdString(picked);
        });
        return InEditor(m.mnuToolsNewInf, user);
    }
    // The name the Maps folder's file `native` goes by (an alias where Windows names cannot
    // hold it).
    std::string Shown(const std::string& native) {
        std::vector<Platform::FolderEntry> entries;
        Platform::ListFolder(Maps(), entries);
        for (const auto& e : entries)
            if (e.native == native) return e.name;
        return {};
    }
};

TEST_F(DefinitionsLifeTest, NewDefinitionsForNewPictures) {
    host.MakeHost();
    WriteMap("a.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n");
    WriteImage(Maps("plain.bmp"), 120, 60);
    WriteImage(Maps("degrees.jpg"), 120, 60);
    TempHost::Write(Maps("degrees.jgw"), "0.0166666666666667\n0\n0\n-0.0166666666666667\n"
                                         "-1.99166666666667\n51.9916666666667\n");
    WriteImage(Maps("turned.jpg"), 10, 10);
    TempHost::Write(Maps("turned.jgw"), "1\n0.2\n0\n-1\n0\n0\n");
    WriteImage(host.OnC("elsewhere/out.jpg"), 10, 10);
    // A link in the Maps folder is a picture of the folder, wherever it leads.
    std::filesystem::create_symlink(host.OnC("elsewhere/out.jpg"), Maps("link.jpg"));
    // A name only an alias can show, its world file by its own name.
    WriteImage(Maps("map東京.jpg"), 120, 60);
    TempHost::Write(Maps("map東京.jgw"), TempHost::Read(Maps("degrees.jgw")));
    frmMain& m = Start();

    struct Case {
        const char* picture; // its native name
        QString corners;     // as the editor opens
        int messages;        // a world file that cannot be used says why
    } cases[] = {
        {"plain.bmp", "|||", 0},
        {"degrees.jpg", "52.00.00N|002.00.00W|51.00.00N|000.00.00E", 0},
        {"turned.jpg", "|||", 1},
        {"link.jpg", "|||", 0},
        {"map東京.jpg", "52.00.00N|002.00.00W|51.00.00N|000.00.00E", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        const std::string shown = Shown(c.picture);
        messages.clear();
        NewInf(m, Maps(c.picture), [&](frmInfEdit& e) {
            EXPECT_EQ(Boxes(e).mid(0, 4).join('|'), c.corners);
            EXPECT_EQ(e.txtFilename->text(), FromCore(shown));
            EXPECT_EQ(int(messages.size()), c.messages);
            if (e.txtTLLat->text().isEmpty()) {
                e.txtTLLat->setText("10N");
                e.txtTLLon->setText("10E");
                e.txtBRLat->setText("9N");
                e.txtBRLon->setText("11E");
            }
            e.cmdOk_Click(); // no question: the file is new
        });
        EXPECT_EQ(int(messages.size()), c.messages);
        // The new node in its sorted place, selected, its details shown.
        const std::string inf = shown.substr(0, shown.rfind('.')) + ".inf";
        ASSERT_TRUE(TempHost::Exists(Maps(inf)));
        ASSERT_NE(m.DirTree->SelectedItem(), nullptr);
        EXPECT_EQ(m.DirTree->SelectedItem()->text(0).toStdString(), inf);
        EXPECT_EQ(Details(m)[1], "Map Filename " + shown);
        QStringList sorted = FileNodes(m);
        sorted.sort(Qt::CaseInsensitive);
        EXPECT_EQ(FileNodes(m), sorted);
    }

    // A picture outside the Maps folder: said, nothing copied, no editor.
    messages.clear();
    EXPECT_FALSE(NewInf(m, host.OnC("elsewhere/out.jpg"), [](frmInfEdit&) {}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].prompt.indexOf("does not lie in the Maps folder"), -1);
    EXPECT_FALSE(TempHost::Exists(Maps("out.jpg")));

    // A name a definition would not give back (the core's rule has every such form): refused,
    // saying why; no editor, no definition; nor typed into the editor in its place.
    for (const char* name : {";semi.jpg", " lead.jpg"}) TempHost::Write(Maps(name), "x");
    messages.clear();
    EXPECT_FALSE(NewInf(m, Maps(";semi.jpg"), [](frmInfEdit&) {}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].prompt.indexOf("comment"), -1) << messages[0].prompt.toStdString();
    const std::string plain = TempHost::Read(Maps("plain.inf"));
    messages.clear();
    EXPECT_TRUE(NewInf(m, Maps("plain.bmp"), [&](frmInfEdit& e) {
        const char* typed[] = {"10N", "10E", "9N", "11E", " lead.jpg"};
        QLineEdit* boxes[] = {e.txtTLLat, e.txtTLLon, e.txtBRLat, e.txtBRLon, e.txtFilename};
        for (int i = 0; i < 5; ++i) boxes[i]->setText(typed[i]);
        e.cmdOk_Click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].prompt.indexOf("trimmed"), -1) << messages[0].prompt.toStdString();
    }));
    EXPECT_EQ(TempHost::Read(Maps("plain.inf")), plain);
    EXPECT_FALSE(TempHost::Exists(Maps(";semi.inf")));
}

TEST_F(DefinitionsLifeTest, WorldFilesOutAndBackInGiveTheSameCorners) {
    host.MakeHost();
    WriteImage(Maps("j.jpg"), 300, 200);
    WriteImage(Maps("b.bmp"), 30, 20);
    TempHost::Write(Maps("g.gif"), kGif);
    const std::string corners = "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\n";
    for (const char* name : {"j", "b", "g"})
        WriteMap(std::string(name) + ".inf", corners + name +
                                                 (name[0] == 'j'   ? ".jpg"
                                                  : name[0] == 'b' ? ".bmp"
                                                                   : ".gif"));
    frmMain& m = Start();
    // The user saves each world file beside its picture, by the name offered; the first dialog
    // opens on the documents folder, the others where the last export went.
    QStringList folders, offered;
    SetFileSaveHook([&](const FileSaveRequest& r) -> std::optional<QString> {
        folders << r.folder;
        offered << r.name;
        return QString::fromStdString(Maps()) + r.name;
    });
    for (const char* name : {"j.inf", "b.inf", "g.inf"}) {
        SCOPED_TRACE(name);
        Select(m, name);
        m.mnuToolsExportWorldFile->trigger();
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(m.sbStatusBar->PanelText(1),
                  "Saved " + QString::fromStdString(Maps()) + offered.back() + " and " +
                      QString::fromStdString(Maps(name[0] + std::string(".prj"))) + ".");
        // The editor's World File button reads it back.
        EXPECT_TRUE(InEditor(m.mnuToolsEditInf, [](frmInfEdit& e) {
            e.txtTLLat->clear();
            e.txtBRLon->clear();
            e.cmdWorldFile->click();
            EXPECT_EQ(Boxes(e).mid(0, 4).join('|'), "51.30.00N|001.30.00W|51.00.00N|000.30.00W");
        }));
    }
    EXPECT_EQ(offered, (QStringList{"j.jgw", "b.bpw", "g.gfw"}));
    const QString maps = QString::fromStdString(Maps()).chopped(1);
    EXPECT_EQ(folders,
              (QStringList{QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           maps, maps}));
    // A second export asks before replacing, and Enter on the question keeps the files.
    TempHost::Write(Maps("g.prj"), "mine");
    PressInNextBox(Qt::Key_Return);
    m.mnuToolsExportWorldFile->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(TempHost::Read(Maps("g.prj")), "mine");
}

// Tools > Import Map... on a picture placed by a world file and a .prj: the new map is selected;
// importing it again asks first; the exports name the file they wrote.
TEST_F(DefinitionsLifeTest, ImportedMapsComeInSelectedAndGoOutAgain) {
    host.MakeHost();
    const std::string in = host.OnC("in/");
    WriteImage(in + "sheet.jpg", 60, 40);
    TempHost::Write(in + "sheet.jgw", "0.01\n0\n0\n-0.01\n-0.995\n51.995\n");
    TempHost::Write(in + "sheet.prj", Georef::DatumPrj(Georef::Datum::OSGB36));
    frmMain& m = Start();
    SetFileOpenHook([&](const FileOpenRequest&) -> std::optional<QString> {
        return QString::fromStdString(in + "sheet.jpg");
    });
    int resets = 0;
    QObject::connect(m.Maps, &Library::MapLibrary::Reset, [&] { ++resets; });
    m.mnuToolsImportMap->trigger();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(resets, 0); // the new map added to the library, the folder not read again
    ASSERT_NE(m.DirTree->SelectedItem(), nullptr);
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "sheet.inf");
    EXPECT_EQ(Details(m)[1], "Map Filename sheet.jpg");
    EXPECT_NE(m.sbStatusBar->PanelText(1).indexOf("OSGB 1936"), -1);

    answers = {vbNo};
    m.mnuToolsImportMap->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].style, vbQuestion + vbYesNo + vbDefaultButton2);

    messages.clear();
    // Exported elsewhere under a name of the user's: each file there, the .map naming the
    // picture by its full path, the world file beside a copy of the picture of its own name.
    const std::string out = host.Root() + "/out/";
    TempHost::MakeFolder(out);
    SetFileSaveHook([&](const FileSaveRequest& r) -> std::optional<QString> {
        return QString::fromStdString(out) + "trip" + r.name.mid(r.name.lastIndexOf('.'));
    });
    for (QAction* command : {m.mnuToolsExportKmz, m.mnuToolsExportOzi, m.mnuToolsExportWorldFile})
        command->trigger();
    EXPECT_TRUE(messages.empty());
    for (const char* name : {"trip.kmz", "trip.map", "trip.jgw", "trip.prj"})
        EXPECT_TRUE(TempHost::Exists(out + name)) << name;
    EXPECT_EQ(TempHost::Read(out + "trip.jpg"), TempHost::Read(Maps("sheet.jpg")));
    EXPECT_NE(TempHost::Read(out + "trip.map").find("\r\n" + Maps("sheet.jpg") + "\r\n"),
              std::string::npos);
    EXPECT_NE(m.sbStatusBar->PanelText(1).indexOf(QString::fromStdString(out + "trip.jpg")), -1);
    // A cancelled dialog writes nothing.
    SetFileSaveHook([](const FileSaveRequest&) { return std::optional<QString>(); });
    m.mnuToolsExportOzi->trigger();
    EXPECT_EQ(TempHost::Exists(Maps("sheet.map")), false);
}

// Import Map on hostile ground: a world file that is a pipe is refused at once; Cancel, and
// File > Exit, in the middle of a long import end it and leave nothing behind (and Exit ends
// the window without fault).
TEST_F(DefinitionsLifeTest, AnImportEndsWhenAskedAndLeavesNothing) {
    host.MakeHost();
    const std::string in = host.OnC("in/");
    WriteImage(in + "piped.jpg", 60, 40);
    ASSERT_EQ(::mkfifo((in + "piped.jgw").c_str(), 0600), 0);
    // 30000 pixels a side never written (a file of a few KiB), whose warp takes minutes.
    ASSERT_EQ(std::system(("gdal_create -q -of GTiff -outsize 30000 30000 -co TILED=YES -co "
                           "SPARSE_OK=TRUE -a_srs EPSG:27700 -a_ullr 400000 330000 430000 "
                           "300000 " +
                           in + "big.tif")
                              .c_str()),
              0);
    frmMain& m = Start();
    std::string picked = in + "piped.jpg";
    SetFileOpenHook([&](const FileOpenRequest&) -> std::optional<QString> {
        return QString::fromStdString(picked);
    });
    m.mnuToolsImportMap->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].prompt.indexOf("piped.jgw, which is a pipe"), -1)
        << messages[0].prompt.toStdString();

    picked = in + "big.tif";
    QTimer::singleShot(
        0, &m, [&m] { m.findChild<QProgressDialog*>()->findChild<QPushButton*>()->click(); });
    m.mnuToolsImportMap->trigger();
    EXPECT_NE(m.sbStatusBar->PanelText(1).indexOf("cancelled"), -1);
    QTimer::singleShot(0, &m, [&m] { m.mnuFileExit->trigger(); });
    m.mnuToolsImportMap->trigger();
    Flush();
    EXPECT_FALSE(frmMain::Loaded());
    EXPECT_TRUE(std::filesystem::is_empty(Maps()));
}

TEST_F(DefinitionsLifeTest, TheTreeFollowsTheMapsFolder) {
    host.MakeHost();
    WriteMap("a.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n");
    WriteMap("b.inf", "1N,1E\r\n0N,2E\r\nnothere\r\n");
    frmMain& m = Start();
    int batches = 0;
    QObject::connect(m.Watcher, &Library::LibraryWatcher::Applied, [&] { ++batches; });
    Select(m, "b.inf");
    m.DirTree->topLevelItem(0)->child(0)->setExpanded(true);

    // Refresh (F5 wherever the focus is in the window) keeps the selection and the expansion,
    // and says how many maps it read.
    m.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    m.DirTree->setFocus();
    QTest::keyClick(m.DirTree, Qt::Key_F5);
    EXPECT_TRUE(m.mnuViewRefresh->shortcut().isEmpty()); // the key is the window's
    EXPECT_TRUE(m.sbStatusBar->PanelText(1).startsWith("2 map definitions read"));
    ASSERT_NE(m.DirTree->SelectedItem(), nullptr);
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "b.inf");
    EXPECT_TRUE(m.DirTree->topLevelItem(0)->child(0)->isExpanded());

    // Another program adds, rewrites, renames and removes definitions: each its own entry, never
    // the whole folder read again.
    int resets = 0;
    QObject::connect(m.Maps, &Library::MapLibrary::Reset, [&] { ++resets; });
    WriteMap("c.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n");
    WaitFor([&] { return FileNodes(m).contains("c.inf"); });
    WriteMap("b.inf", "5N,1E\r\n0N,2E\r\nnow.jpg\r\n"); // in place, the selected one
    WaitFor([&] { return Details(m)[1] == "Map Filename now.jpg"; });
    EXPECT_EQ(TreeView::ImageOf(m.DirTree->SelectedItem()), "File");
    std::filesystem::rename(Maps("a.inf"), Maps("renamed.inf"));
    WaitFor(
        [&] { return FileNodes(m).contains("renamed.inf") && !FileNodes(m).contains("a.inf"); });
    std::filesystem::remove(Maps("b.inf"));
    WaitFor([&] { return !FileNodes(m).contains("b.inf"); });
    EXPECT_TRUE(Details(m).empty()); // the map shown went with its file
    EXPECT_EQ(resets, 0);

    // A burst of files is one batch, and the tree stays in the library's order.
    const int before = batches;
    for (int i = 0; i < 300; ++i) WriteMap("burst" + std::to_string(1299 - i) + ".inf", "x");
    WaitFor([&] { return FileNodes(m).size() == 302; });
    EXPECT_EQ(batches, before + 1);
    QStringList names;
    for (const auto& e : m.Maps->Entries()) names << QString::fromStdString(e.name);
    EXPECT_EQ(FileNodes(m), names);
}
