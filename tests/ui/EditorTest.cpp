#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <sys/stat.h>

namespace {
const std::string kWritten = "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.jpg\r\n";
const QString kTopLeft = "The position you have entered for the Top Left corner of the map is not "
                         "a valid Latituse or Longitude.";
const QString kBottomRight = "The position you have entered for the Bottom Right corner of the map "
                             "is not a valid Latituse or Longitude.";
const QString kNoImage = "The filename you have entered for the map does not exist";
const QString kOverwrite =
    "Are you sure that you wish to overwrite the exiting map definition file.";
} // namespace

class EditorTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host.MakeHost();
        TempHost::Write(host.OnC("Stelmar/Maps/london.jpg"), "x");
        WriteMap("london.inf", kWritten);
    }
    frmInfEdit& Open(const std::string& name = "london.inf") {
        return OpenEditor("C:\\Stelmar\\Maps\\" + name);
    }
    std::string File(const std::string& name = "london.inf") {
        return TempHost::Read(host.OnC("Stelmar/Maps/" + name));
    }
};

TEST_F(EditorTest, LoadsWhatTheProgramWroteUnchanged) {
    frmInfEdit& e = frmInfEdit::Instance();
    e.setInfPath("C:\\Stelmar\\Maps\\london.inf");
    EXPECT_TRUE(e.Timer1->isActive()); // the file waits until the window is on screen
    e.ShowModeless();
    while (e.Timer1->isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(Boxes(e).join('|'), "51.30.00N|001.30.00W|51.00.00N|000.30.00W|london.jpg");
    EXPECT_TRUE(messages.empty());
}

TEST_F(EditorTest, SavesCheckedNormalisedCorners) {
    // Boxes as "top-left lat|lon|bottom-right lat|lon|image"; "" for boxes after: as typed, for
    // the file: unchanged.
    struct Case {
        const char *typed, *boxesAfter;
        QString prompt;
        std::string file;
    } cases[] = {
        {"51.3N|1.30W|51N|000.30.00W|london.jpg", "", kOverwrite,
         "51.03.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.jpg\r\n"},
        {"51.30.00N|001.30.00W|TQ 290 800|x|nothere.jpg",
         "51.30.00N|001.30.00W|51.30.22N|000.08.47W|nothere.jpg", kNoImage, ""},
        {"95N|001.30.00W|51N|0W|london.jpg", "", kTopLeft, ""},
        {"51N|1W|51N|1.60W|london.jpg", "51.00.00N|001.00.00W|51.00.00N|1.60W|london.jpg",
         kBottomRight, ""},
        {"51N||51N|0W|london.jpg", "51.00.00N||51N|0W|london.jpg", kTopLeft, ""},
        {"51N|1W|50N|0W|", "51.00.00N|001.00.00W|50.00.00N|000.00.00W|", kNoImage, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        WriteMap("london.inf", kWritten);
        messages.clear();
        frmInfEdit& e = Open();
        QLineEdit* boxes[] = {e.txtTLLat, e.txtTLLon, e.txtBRLat, e.txtBRLon, e.txtFilename};
        const QStringList typed = QString(c.typed).split('|');
        for (int i = 0; i < 5; ++i) boxes[i]->setText(typed[i]);
        e.cmdOk_Click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].prompt, c.prompt);
        if (c.prompt != kOverwrite) {
            EXPECT_EQ(Boxes(e).join('|'), *c.boxesAfter ? c.boxesAfter : c.typed);
            e.Unload();
            Flush();
        }
        EXPECT_FALSE(frmInfEdit::Loaded());
        EXPECT_EQ(File(), c.file.empty() ? kWritten : c.file);
    }
}

TEST_F(EditorTest, TheOverwriteQuestionAndFilesThatCannotBeWritten) {
    frmInfEdit& e = Open();
    e.txtTLLat->setText("52N");
    answers = {7}; // No
    e.cmdOk_Click();
    EXPECT_EQ(messages, (Messages{{kOverwrite, 36, "Overwrite File"}}));
    EXPECT_TRUE(frmInfEdit::Loaded());
    EXPECT_EQ(e.txtTLLat->text(), "52.00.00N");
    EXPECT_EQ(File(), kWritten);

    // A file that cannot be written (each cause is the file layer's): told why, nothing lost,
    // the window stays.
    chmod(host.OnC("Stelmar/Maps/london.inf").c_str(), 0444);
    messages.clear();
    e.cmdOk_Click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[1].prompt.indexOf("could not be saved"), -1);
    EXPECT_NE(messages[1].prompt.indexOf("read-only"), -1);
    EXPECT_TRUE(frmInfEdit::Loaded());
    EXPECT_EQ(e.txtTLLat->text(), "52.00.00N");
    EXPECT_EQ(File(), kWritten);
}

// Enter in a box (Cancel is the default button) asks first; Enter again, on the question,
// keeps the typing.
TEST_F(EditorTest, EnterAfterTypingAsksBeforeDiscardingWhatWasTyped) {
    const QString question = "Discard the changes you have typed?";
    frmInfEdit& e = Open();
    e.ShowModeless();
    e.activateWindow();
    e.txtTLLat->setFocus();
    QTest::keyClick(e.txtTLLat, Qt::Key_End);
    QTest::keyClicks(e.txtTLLat, "5");
    PressInNextBox(Qt::Key_Return);
    QTest::keyClick(e.txtTLLat, Qt::Key_Return);
    EXPECT_EQ(messages, (Messages{{question, -1, "Inf File Editor"}}));
    ASSERT_TRUE(frmInfEdit::Loaded());
    EXPECT_EQ(e.txtTLLat->text(), "51.30.00N5");
    EXPECT_EQ(e.focusWidget(), e.txtTLLat);
    // From a box not typed in, the typing would be lost all the same.
    messages.clear();
    answers = {vbYes};
    QTest::keyClick(e.txtBRLon, Qt::Key_Return);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, question);
    Flush();
    EXPECT_FALSE(frmInfEdit::Loaded());
    EXPECT_EQ(File(), kWritten);
}

TEST_F(EditorTest, EachCornerShowsWhatItWillBeReadAsWhileItIsTyped) {
    struct Case {
        const char *latitude, *longitude, *reading;
    } cases[] = {
        {"51.5N", "1.30W", "Top Left read as 51° 05.00′ N, 1° 30.00′ W"}, // minutes, not 51.5°
        {"TQ 290 800", "", "Top Left read as 51° 30.22′ N, 0° 08.47′ W"},
        {"", "tq290800", "Top Left read as 51° 30.22′ N, 0° 08.47′ W"},
        {"95N", "1W", "Top Left read as (not a latitude), 1° 00.00′ W"},
        {"51.30.25N", "181E", "Top Left read as 51° 30.25′ N, (not a longitude)"},
        {"51.30.25n", "1W", "Top Left read as (not a latitude), 1° 00.00′ W"}, // case counts
        {"", "2.3.4E", "Top Left read as (empty), 2° 03.04′ E"},
        {"", "", ""},
    };
    frmInfEdit& e = Open();
    EXPECT_EQ(e.lblBottomRightReading->text(), "Bottom Right read as 51° 00.00′ N, 0° 30.00′ W");
    for (const auto& c : cases) {
        for (auto [box, typed] : {std::pair(e.txtTLLat, c.latitude), {e.txtTLLon, c.longitude}}) {
            box->clear();
            QTest::keyClicks(box, typed);
        }
        EXPECT_EQ(e.lblTopLeftReading->text(), QString(c.reading)) << c.latitude << c.longitude;
    }
}

TEST_F(EditorTest, AFailingLoadSaysWhyAndKeepsWhatItRead) {
    WriteMap("short.inf", "51.30.00N,001.30.00W\r\n");
    frmInfEdit& e = Open("short.inf");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(
        messages[0].prompt.startsWith("Error in ERROR_Timer1_Timer : Input past end of file"));
    EXPECT_EQ(e.txtTLLat->text(), "51.30.00N");
    EXPECT_EQ(e.txtTLLon->text(), "001.30.00W");
    EXPECT_EQ(e.txtBRLat->text(), "");
    e.Unload();
    messages.clear();
    Open("gone.inf");
    EXPECT_EQ(messages, (Messages{{"Error in ERROR_Timer1_Timer : File not found: "
                                   "C:\\Stelmar\\Maps\\gone.inf",
                                   0, "Varnet"}}));
}

TEST_F(EditorTest, BrowseKeepsOnlyThePickedName) {
    frmInfEdit& e = Open();
    FileOpenRequest seen;
    std::optional<QString> answer = "/somewhere/else/Other Map.bmp";
    SetFileOpenHook([&](const FileOpenRequest& r) {
        seen = r;
        return answer;
    });
    e.cmdBrowse->click();
    EXPECT_EQ(seen.Patterns(), (QStringList{"*.bmp", "*.gif", "*.jpg"}));
    EXPECT_EQ(e.txtFilename->text(), "Other Map.bmp");
    answer.reset(); // cancelled
    e.cmdBrowse_Click();
    EXPECT_EQ(e.txtFilename->text(), "Other Map.bmp");
    EXPECT_TRUE(messages.empty());
    // Only the name was kept: the image is looked for beside the definition.
    e.cmdOk_Click();
    EXPECT_EQ(messages, (Messages{{kNoImage, 48, "Map Filename Error"}}));
}

TEST_F(EditorTest, TheEditCommandOpensTheSelectedDefinitionAndTheTreeFollowsASave) {
    WriteMap("b.inf", "51N,1W\r\n50N,0W\r\nnothere\r\n"); // no image yet: "FileX"
    TempHost::Write(host.OnC("Stelmar/Maps/b.jpg"), "x");
    std::filesystem::rename(host.OnC("Stelmar/Maps/b.jpg"), host.OnC("Stelmar/Maps/b-later.jpg"));
    frmMain& main = Start();
    QTreeWidgetItem* root = main.DirTree->topLevelItem(0);
    int opened = 0;
    // Nothing, the root and the drive node: nothing happens.
    for (QTreeWidgetItem* node : {static_cast<QTreeWidgetItem*>(nullptr), root, root->child(0)}) {
        main.DirTree->setCurrentItem(node);
        if (!node) main.DirTree->clearSelection();
        main.mnuToolsEditInf_Click();
        opened += frmInfEdit::Loaded();
    }
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(messages.empty());

    QTreeWidgetItem* b = Select(main, "b.inf");
    EXPECT_EQ(TreeView::ImageOf(b), "FileX");
    EXPECT_EQ(Details(main)[1], "Map Filename ");
    std::string path;
    InEditor(main.mnuToolsEditInf, [&](frmInfEdit& e) {
        path = e.InfPath();
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.windowModality(), Qt::ApplicationModal);
        e.txtFilename->setText("b-later.jpg");
        e.txtTLLat->setText("52N");
        e.cmdOk->click();
    });
    EXPECT_EQ(path, "C:\\Stelmar\\Maps\\b.inf");
    EXPECT_FALSE(frmInfEdit::Loaded());
    EXPECT_EQ(File("b.inf"), "52.00.00N,001.00.00W\r\n50.00.00N,000.00.00W\r\nb-later.jpg\r\n");
    // The node's icon and the details follow the new contents at once.
    EXPECT_EQ(TreeView::ImageOf(b), "File");
    EXPECT_EQ(Details(main)[1], "Map Filename b-later.jpg");
    EXPECT_EQ(Details(main)[2], "Top Left Lattitude 52.00.00N");
}
