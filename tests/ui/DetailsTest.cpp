#include "app/StartupCode.h"
#include "support/AppTest.h"
#include "ui/MapPicture.h"
#include "ui/frmMain.h"

#include <cmath>

using DetailsTest = AppTest;

namespace {
const std::string kLondon = "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.jpg\r\n";
}

TEST_F(DetailsTest, EightLinesForEachKindOfDefinition) {
    WriteImage(host.OnC("Stelmar/Maps/london.jpg"), 40, 30);
    WriteImage(host.OnC("Stelmar/Maps/plain.bmp"), 20, 10);
    WriteMap("london.inf", kLondon);
    WriteMap("two.inf", ";only corners\r\n51.30.00n , 001.30.00w\r\n51.00.00N,000.30.00W\r\n");
    WriteMap("equal.inf", "51.30.00N,000.00.00E\r\n51.30.00N,000.00.00E\r\nlondon.jpg\r\n");
    WriteMap("south.inf", "33.00.00S,151.00.00W\r\n34.00.00S,150.00.00W\r\nplain\r\n");
    WriteMap("nocomma.inf", "51.30.00N 001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.jpg\r\n");
    using V = std::vector<std::string>;
    struct Case {
        const char* node;
        V lines; // after "Map Pathname C:\Stelmar\Maps"
    } cases[] = {
        {"london.inf",
         {"Map Filename london.jpg", "Top Left Lattitude 51.30.00N",
          "Top Left Longitude 001.30.00W", "Bottom Right Lattitude 51.00.00N",
          "Bottom Right Longitude 000.30.00W", "Map width 69 Km", "Map height 55 Km"}},
        {"two.inf",
         {"Map Filename ", "Top Left Lattitude 51.30.00N", "Top Left Longitude 001.30.00W",
          "Bottom Right Lattitude 51.00.00N", "Bottom Right Longitude 000.30.00W",
          "Map width 69 Km", "Map height 55 Km"}},
        {"equal.inf",
         {"Map Filename london.jpg", "Top Left Lattitude 51.30.00N",
          "Top Left Longitude 000.00.00E", "Bottom Right Lattitude 51.30.00N",
          "Bottom Right Longitude 000.00.00E", "Map width 0 Km", "Map height 0 Km"}},
        {"south.inf",
         {"Map Filename plain.bmp", "Top Left Lattitude 33.00.00S", "Top Left Longitude 151.00.00W",
          "Bottom Right Lattitude 34.00.00S", "Bottom Right Longitude 150.00.00W",
          "Map width 93 Km", "Map height 110 Km"}},
        // A corner without a comma: the whole text on its latitude line.
        {"nocomma.inf",
         {"Map Filename ", "Top Left Lattitude 51.30.00N 001.30.00W", "Top Left Longitude ",
          "Bottom Right Lattitude ", "Bottom Right Longitude ", "Map width 0 Km",
          "Map height 0 Km"}},
    };
    frmMain& main = Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        ASSERT_NE(Select(main, c.node), nullptr);
        const V lines = Details(main);
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[0], "Map Pathname C:\\Stelmar\\Maps");
        EXPECT_EQ(V(lines.begin() + 1, lines.end()), c.lines);
        EXPECT_EQ(main.sbStatusBar->PanelText(1), "Ready");
    }
    // Clicks on the root, the drive or nothing change nothing.
    Select(main, "london.inf");
    const auto before = Details(main);
    main.sbStatusBar->SetPanelText(1, "kept");
    QTreeWidgetItem* root = main.DirTree->topLevelItem(0);
    for (QTreeWidgetItem* node : {root, root->child(0), static_cast<QTreeWidgetItem*>(nullptr)}) {
        main.DirTree->setCurrentItem(node);
        if (!node) main.DirTree->clearSelection();
        main.DirTree_Click();
        EXPECT_EQ(Details(main), before);
        EXPECT_EQ(main.sbStatusBar->PanelText(1), "kept");
        EXPECT_TRUE(main.picInner->HasPicture());
    }
    // A click reads the definition as it is now, though the library has not heard of a change.
    WriteMap("london.inf", "52.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.jpg\r\n");
    Select(main, "two.inf");
    Select(main, "london.inf");
    EXPECT_EQ(Details(main)[2], "Top Left Lattitude 52.30.00N");
    EXPECT_TRUE(messages.empty()); // no modal box on any click
}

TEST_F(DetailsTest, ThePictureTakesTheImagesSizeAndTheMapsCorners) {
    WriteImage(host.OnC("Stelmar/Maps/london.jpg"), 400, 300);
    WriteImage(host.OnC("Stelmar/Maps/plain.bmp"), 20, 10);
    WriteMap("london.inf", kLondon);
    WriteMap("plain.inf", "1N,1E\r\n0N,2E\r\nplain\r\n"); // found as plain.bmp
    frmMain& main = Start();
    Select(main, "london.inf");
    const auto& p = *main.picInner;
    EXPECT_EQ(QSizeF(p.Width(), p.Height()), QSizeF(400 * 15, 300 * 15)); // twips
    EXPECT_EQ(QRectF(p.ScaleLeft(), p.ScaleTop(), p.ScaleWidth(), p.ScaleHeight()),
              QRectF(-90, 3090, 60, -30)); // minutes

    // Scrolled, then another map: the positions stay, the ranges change.
    main.HScroll1->setValue(500);
    Select(main, "plain.inf");
    EXPECT_EQ(Details(main)[1], "Map Filename plain.bmp");
    EXPECT_EQ(main.picInner->Width(), 300);
    EXPECT_EQ(main.picInner->FullSize(), QSize(20, 10));
    EXPECT_EQ(main.HScroll1->Max(), std::nearbyint(300 - main.picOuter->Width()));
}

TEST_F(DetailsTest, PicturesThatCannotBeShownAreClearedAndExplained) {
    WriteImage(host.OnC("Stelmar/Maps/london.jpg"), 40, 30);
    WriteMap("london.inf", kLondon);
    WriteMap("missing.inf", "1N,1E\r\n0N,2E\r\natlantis.jpg\r\n");
    TempHost::Write(host.OnC("Stelmar/Maps/junk.jpg"), "not a picture at all");
    WriteMap("junk.inf", "1N,1E\r\n0N,2E\r\njunk.jpg\r\n");
    WriteImage(host.OnC("Stelmar/Maps/cut.bmp"), 300, 200);
    const std::string whole = TempHost::Read(host.OnC("Stelmar/Maps/cut.bmp"));
    TempHost::Write(host.OnC("Stelmar/Maps/cut.bmp"), whole.substr(0, whole.size() / 3));
    WriteMap("cut.inf", "1N,1E\r\n0N,2E\r\ncut.bmp\r\n");
    WriteMap("mapinf", kLondon); // its picture is looked up through mapinf.inf, which is absent

    struct Case {
        const char* node;
        std::string why;
    } cases[] = {
        {"missing.inf", "atlantis.jpg could not be loaded: File not found"},
        {"junk.inf", "junk.jpg could not be loaded"},
        {"cut.inf", "cut.bmp could not be loaded: the picture file is incomplete"},
        {"mapinf", "mapinf.inf could not be read"},
    };
    frmMain& main = Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        Select(main, "london.inf");
        ASSERT_TRUE(main.picInner->HasPicture());
        Select(main, c.node);
        EXPECT_FALSE(main.picInner->HasPicture()); // never the previous map's picture
        EXPECT_EQ(Details(main).size(), 8u);       // the details are still shown
        const std::string status = main.sbStatusBar->PanelText(1).toStdString();
        EXPECT_NE(status.find(c.why), std::string::npos) << status;
        EXPECT_EQ(main.picOuter->EmptyText().toStdString(), status);
    }
    EXPECT_TRUE(messages.empty());
    Select(main, "london.inf");
    EXPECT_EQ(main.sbStatusBar->PanelText(1), "Ready");
    EXPECT_TRUE(main.picOuter->EmptyText().isEmpty());

    // Without its decoder a picture says so, and what to do, on the picture.
    WaitFor([&] { return !main.MapViewer->Decoding(); }); // no decoder being started meanwhile
    setenv("VARNET_DECODER", host.OnC("nowhere/varnet-decoder").c_str(), 1);
    Select(main, "junk.inf");
    Select(main, "london.inf");
    unsetenv("VARNET_DECODER");
    EXPECT_FALSE(main.picInner->HasPicture());
    const std::string said = main.picOuter->EmptyText().toStdString();
    EXPECT_NE(
        said.find("london.jpg could not be loaded: the picture decoder is missing: reinstall"),
        std::string::npos)
        << said;
    EXPECT_TRUE(messages.empty());
}
