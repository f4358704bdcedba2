// A Maps folder with what a careless or hostile world puts there: the tree fills, every click
// shows the right file or says why not, and the editor never writes over another file or over
// another program's change.
#include "support/AppTest.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"

#include "app/StartupCode.h"
#include "ui/MsgBox.h"

#include <QTreeWidgetItem>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string Definition(const std::string& topLeft) {
    return topLeft + "\r\n50.00.00N,000.00.00E\r\nmap.bmp\r\n";
}
} // namespace

using HostileLibraryTest = AppTest;

TEST_F(HostileLibraryTest, EveryFileIsListedAndShownAsItself) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/map.bmp"), 8, 8);
    WriteMap("\xE6\x9D\xB1\xE4\xBA\xAC.inf", Definition("35.00.00N,139.00.00E"));
    WriteMap("\xE5\xA4\xA7\xE9\x98\xAA.inf", Definition("34.00.00N,135.00.00E"));
    WriteMap("caf\xC3\xA9.inf", Definition("48.00.00N,002.00.00E"));
    WriteMap("caf\xE9.inf", Definition("45.00.00N,004.00.00E"));
    WriteMap("sub\\map.inf", Definition("10.00.00N,010.00.00E"));
    WriteMap("sub/map.inf", Definition("20.00.00N,020.00.00E"));
    // Pipes where a definition and an image are looked for; a definition of endless comment
    // lines; one that will be gone by the time it is clicked.
    ASSERT_EQ(mkfifo(host.OnC("Stelmar/Maps/piped.bmp").c_str(), 0644), 0);
    WriteMap("piped.inf", "1S,1E\r\n0N,2E\r\npiped.bmp\r\n");
    ASSERT_EQ(mkfifo(host.OnC("Stelmar/Maps/pipe.inf").c_str(), 0644), 0);
    std::string endless;
    while (endless.size() <= (1u << 20)) endless += ";a comment line without end\r\n";
    WriteMap("endless.inf", endless + Definition("1N,1E"));
    WriteMap("gone.inf", Definition("1N,1E"));
    // Written longitude first.
    WriteMap("swapped.inf", "011.15.00w , 61.52.50n\r\n 005.37.50e,47.48.75n\r\nmap.bmp\r\n");
    frmMain& main = Start();

    std::set<std::string> tops;
    for (const QString& node : FileNodes(main))
        if (TreeView::ImageOf(Select(main, node)) == "File") tops.insert(Details(main)[2]);
    // Each name its own map; the pipe is no file and the endless file no map.
    EXPECT_EQ(tops,
              (std::set<std::string>{"Top Left Lattitude 35.00.00N", "Top Left Lattitude 34.00.00N",
                                     "Top Left Lattitude 48.00.00N", "Top Left Lattitude 45.00.00N",
                                     "Top Left Lattitude 10.00.00N", "Top Left Lattitude 61.52.50N",
                                     "Top Left Lattitude 1N", "Top Left Lattitude 1S"}));
    EXPECT_EQ(Select(main, "pipe.inf"), nullptr);
    Select(main, "swapped.inf");
    EXPECT_EQ(Details(main)[3], "Top Left Longitude 011.15.00W");

    // Files that cannot be read say so, by name: a file gone leaves the tree, one too long
    // takes the cross.
    fs::remove(host.OnC("Stelmar/Maps/gone.inf"));
    const std::pair<const char*, const char*> unreadable[] = {
        {"gone.inf", "gone.inf cannot be read: File not found"},
        {"endless.inf", "endless.inf cannot be read: File too long"},
        {"piped.inf", "piped.bmp could not be loaded: the picture cannot be read"}};
    for (const auto& [node, says] : unreadable) {
        Select(main, node);
        EXPECT_TRUE(main.sbStatusBar->PanelText(1).contains(says))
            << main.sbStatusBar->PanelText(1).toStdString();
        EXPECT_FALSE(main.picInner->HasPicture()) << node;
    }
    EXPECT_EQ(main.DirTree->Node("gone.inf"), nullptr);
    EXPECT_EQ(TreeView::ImageOf(main.DirTree->Node("endless.inf")), "FileX");
    EXPECT_TRUE(messages.empty());
}

TEST_F(HostileLibraryTest, TheEditorKeepsCommentsAndNeverWritesOverAnotherProgramsChange) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/map.bmp"), 8, 8);
    const std::string before = ";kept\r\n" + Definition("30.00.00N,030.00.00E") + ";also kept\r\n";
    const std::string other = Definition("25.00.00N,025.00.00E");
    WriteMap("notes.inf", before);
    frmMain& main = Start();
    // Another program's change: Cancel keeps it and the edits; No reloads it; Yes overwrites,
    // the comments kept in their places.
    struct Case {
        int answer;
        std::string file;
        QString boxAfter;
    } cases[] = {
        {vbCancel, other, "11.00.00N"},
        {vbNo, other, "25.00.00N"},
        {vbYes, ";kept\r\n" + Definition("11.00.00N,030.00.00E") + ";also kept\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        WriteMap("notes.inf", before);
        messages.clear();
        answers = {vbYes, c.answer}; // the usual question, then the question of the change
        QString box;
        Select(main, "notes.inf");
        InEditor(main.mnuToolsEditInf, [&](frmInfEdit& e) {
            e.txtTLLat->setText("11N");
            WriteMap("notes.inf", other);
            e.cmdOk_Click();
            if (frmInfEdit::Loaded()) box = e.txtTLLat->text();
        });
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_NE(messages[1].prompt.indexOf("changed by another program since it was opened"), -1);
        EXPECT_EQ(messages[1].style, vbExclamation + vbYesNoCancel + vbDefaultButton3);
        EXPECT_EQ(TempHost::Read(host.OnC("Stelmar/Maps/notes.inf")), c.file);
        EXPECT_EQ(box, c.boxAfter);
    }
}
