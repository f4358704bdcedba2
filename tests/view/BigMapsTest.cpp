// Large maps: the part in view at once, the whole behind it, another map taking over mid-decode,
// and a picture above the memory bound shown reduced with its full size and exact coordinates.
#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/MapPicture.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// A JPEG of 3000 x 2000 in one colour, with its far quarter (from pixel 2000, 1504) in another.
void WriteJpeg(const std::string& native, QColor colour, QColor corner = {}) {
    QImage image(3000, 2000, QImage::Format_RGB32);
    image.fill(colour);
    if (corner.isValid())
        for (int y = 1504; y < 2000; ++y)
            for (int x = 2000; x < 3000; ++x) image.setPixelColor(x, y, corner);
    ASSERT_TRUE(image.save(QString::fromStdString(native), "JPG", 95));
}
// What the frame shows at a point of the picture box.
QColor Shown(const frmMain& m, QPoint at) {
    return m.picInner->grab(QRect(at, QSize(1, 1))).toImage().pixelColor(0, 0);
}
bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
           std::abs(a.blue() - b.blue()) < 24;
}
} // namespace

class BigMapsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host.MakeHost();
        WriteJpeg(host.OnC("Stelmar/Maps/red.jpg"), Qt::red, Qt::blue);
        WriteMap("red.inf", "60N,10W\r\n50N,0E\r\nred.jpg\r\n");
        WriteJpeg(host.OnC("Stelmar/Maps/green.jpg"), Qt::green);
        WriteMap("green.inf", "60N,10W\r\n50N,0E\r\ngreen.jpg\r\n");
        WriteMap("none.inf", "60N,10W\r\n50N,0E\r\nmissing.jpg\r\n");
    }
    void TearDown() override {
        unsetenv("VARNET_PICTURE_LIMIT_MB");
        AppTest::TearDown();
    }
};

TEST_F(BigMapsTest, ThePartInViewAtOnceTheFarCornerAtFullSizeAndAnotherMapTakingOver) {
    frmMain& m = Start();
    Select(m, "red.inf");
    EXPECT_EQ(Details(m)[1], "Map Filename red.jpg");
    EXPECT_EQ(m.sbStatusBar->PanelText(1), "Ready");
    WaitFor([&] { return Near(Shown(m, QPoint(5, 5)), Qt::red); }); // the first screen
    EXPECT_EQ(m.picInner->Width(), 3000 * 15); // the whole picture's size from the start
    EXPECT_EQ(m.VScroll1->Max(), std::lround(2000 * 15 - m.picOuter->Height()));
    WaitFor([&] { return !m.MapViewer->Decoding(); });

    // The far corner at 100 %: every pixel its own, on either side of the quarter's edge.
    m.HScroll1->setValue(m.HScroll1->Max());
    m.VScroll1->setValue(m.VScroll1->Max());
    Flush();
    const QPoint edge = QPoint(2000, 1504) + m.picInner->rect().topLeft();
    EXPECT_TRUE(Near(Shown(m, edge + QPoint(-2, 40)), Qt::red));
    EXPECT_TRUE(Near(Shown(m, edge + QPoint(2, 40)), Qt::blue));
    EXPECT_TRUE(Near(Shown(m, edge + QPoint(40, -2)), Qt::red));
    EXPECT_TRUE(Near(Shown(m, QPoint(2999, 1999)), Qt::blue));

    // Tiles gone from the finer levels: the coarser ones stand in, never the background, and
    // the full-size ones come back.
    m.MapViewer->Tiles()->Forget(m.MapViewer->Tiles()->CoarsestLevel());
    EXPECT_TRUE(Near(Shown(m, QPoint(2900, 1900)), Qt::blue));
    EXPECT_TRUE(Near(Shown(m, QPoint(1900, 1900)), Qt::red));
    WaitFor([&] {
        return Near(Shown(m, edge + QPoint(2, 40)), Qt::blue) &&
               Near(Shown(m, edge + QPoint(-2, 40)), Qt::red);
    });

    // Another map while the first is still decoding: the last chosen wins, once.
    int decoded = 0;
    QObject::connect(m.MapViewer, &MapView::PictureDecoded, [&] { ++decoded; });
    Select(m, "green.inf");
    Select(m, "red.inf");
    Select(m, "green.inf");
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(); // nothing late arrives
    EXPECT_EQ(decoded, 1);
    EXPECT_TRUE(Near(Shown(m, QPoint(2999, 1999)), Qt::green));
}

TEST_F(BigMapsTest, UntilItsPixelsComeAPictureShowsTheFramesBackground) {
    WriteImage(host.OnC("Stelmar/Maps/wide.bmp"), 2400, 2000);
    WriteMap("wide.inf", "60N,10W\r\n50N,0E\r\nwide.bmp\r\n");
    frmMain& m = Start();
    m.MapViewer->ActualSize();
    Select(m, "wide.inf");
    m.VScroll1->setValue(m.VScroll1->Max()); // where nothing has come yet
    Flush();
    const QColor background = ToQColor(m.picInner->BackColor(), m.picInner->palette());
    if (m.MapViewer->Decoding()) {
        const QColor seen = Shown(m, QPoint(2300, 1990));
        EXPECT_TRUE(seen == background || seen == QColor(30, 90, 160)) << seen.name().toStdString();
    }
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    EXPECT_EQ(Shown(m, QPoint(2300, 1990)), QColor(30, 90, 160));
}

TEST_F(BigMapsTest, TheDiscCacheGoesWithTheMap) {
    setenv("VARNET_PICTURE_LIMIT_MB", "16", 1); // the tiles of 3000 x 2000 do not fit memory
    frmMain& m = Start();
    Select(m, "red.inf");
    const std::string cache = m.MapViewer->Tiles()->CachePath();
    ASSERT_NE(cache, "");
    EXPECT_EQ(cache.rfind(std::string(getenv("XDG_CACHE_HOME")) + "/varnet/", 0), 0u) << cache;
    EXPECT_TRUE(std::filesystem::exists(cache));
    EXPECT_EQ(m.sbStatusBar->PanelText(1), "Ready"); // shown at full size
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    m.HScroll1->setValue(m.HScroll1->Max());
    m.VScroll1->setValue(m.VScroll1->Max());
    Flush();
    WaitFor([&] { return Near(Shown(m, QPoint(2999, 1999)), Qt::blue); }); // read back from disc
    Select(m, "none.inf");                                                 // the map left
    EXPECT_FALSE(std::filesystem::exists(cache));
    Select(m, "red.inf");
    const std::string again = m.MapViewer->Tiles()->CachePath();
    EXPECT_TRUE(std::filesystem::exists(again));
    m.Unload(); // the program ends
    Flush();
    EXPECT_FALSE(std::filesystem::exists(again));
}

// SIGTERM, SIGHUP and Ctrl+C end the program as File > Exit does: its placement kept, its tiles
// removed; and tiles left by a run that died are removed by the next, those of live processes
// and other machines kept.
TEST_F(BigMapsTest, StopRequestsAndDeadRunsLeaveNoTiles) {
    setenv("VARNET_PICTURE_LIMIT_MB", "16", 1); // the tiles of 3000 x 2000 do not fit memory
    const std::string cache = std::string(getenv("XDG_CACHE_HOME")) + "/varnet/";
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const struct {
        std::string name;
        bool kept;
    } left[] = {
        {"tiles-" + std::to_string(dead) + "-1@" + host, false},
        {"tiles-" + std::to_string(dead) + "-2", false},
        {"tiles-" + std::to_string(dead) + "-1@elsewhere", true},
        {"tiles-" + std::to_string(getpid()) + "-999@" + host, true},
    };
    for (const auto& l : left) TempHost::Write(cache + l.name, "tiles");
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove(Platform::SettingsFile("Varnet"));
        frmMain& m = Start();
        for (const auto& l : left)
            EXPECT_EQ(std::filesystem::exists(cache + l.name), l.kept) << l.name;
        Select(m, "red.inf");
        const std::string tiles = m.MapViewer->Tiles()->CachePath();
        ASSERT_TRUE(std::filesystem::exists(tiles));
        raise(signal);
        WaitFor([] { return !frmMain::Loaded(); });
        EXPECT_FALSE(frmMain::Loaded());
        Flush();
        EXPECT_FALSE(std::filesystem::exists(tiles));
        EXPECT_NE(Platform::GetSetting("Varnet", "Settings", "MainWidth", ""), "");
    }
}

TEST_F(BigMapsTest, ACacheFolderThatCannotBeUsedLeavesThePictureInMemory) {
    setenv("VARNET_PICTURE_LIMIT_MB", "16", 1); // the tiles of 3000 x 2000 do not fit memory
    const std::string cache = getenv("XDG_CACHE_HOME");
    const struct {
        const char* what;
        std::function<void()> make;
        const char* says;
    } cases[] = {
        {"the cache folder a file", [&] { TempHost::Write(cache + "/varnet", "x"); },
         "/varnet is not a folder"},
        {"the folder above it a file", [&] { TempHost::Write(cache, "x"); }, " is not a folder"},
        {"the cache folder read-only",
         [&] {
             std::filesystem::create_directories(cache + "/varnet"),
                 chmod((cache + "/varnet").c_str(), 0500);
         },
         "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.says[0] == 'P' && geteuid() == 0) continue; // nothing is read-only to root
        std::filesystem::remove_all(cache);
        c.make();
        frmMain& m = Start();
        Select(m, "red.inf");
        ASSERT_TRUE(m.MapViewer->Tiles());
        EXPECT_EQ(m.MapViewer->Tiles()->CachePath(), "");
        const QString said = m.sbStatusBar->PanelText(1);
        EXPECT_TRUE(said.startsWith("Shown at 1/")) << said.toStdString();
        EXPECT_NE(said.indexOf(c.says), -1) << said.toStdString();
        WaitFor([&] { return !m.MapViewer->Decoding(); });
        WaitFor([&] { return Near(Shown(m, QPoint(5, 5)), Qt::red); });
        EXPECT_TRUE(Near(Shown(m, QPoint(5, 5)), Qt::red));
        EXPECT_EQ(m.sbStatusBar->PanelText(1), said); // said once, and so it stays
        m.Unload();
        Flush();
    }
}

TEST_F(BigMapsTest, APictureAboveTheBoundIsShownReducedAtItsFullSize) {
    // A strip of 3000-pixel rows does not fit beside the rest: shown from a coarser level.
    setenv("VARNET_PICTURE_LIMIT_MB", "4", 1);
    WriteImage(host.OnC("Stelmar/Maps/big.bmp"), 3000, 2000);
    WriteMap("big.inf", "60N,10W\r\n50N,0E\r\nbig.bmp\r\n");
    frmMain& m = Start();
    for (const char* map : {"red.inf", "big.inf"}) {
        Select(m, map);
        EXPECT_EQ(m.sbStatusBar->PanelText(1).left(27), "Shown at 1/16 resolution: d") << map;
        WaitFor([&] { return !m.MapViewer->Decoding(); });
        EXPECT_GT(m.MapViewer->Tiles()->FinestLevel(), 0);
        EXPECT_EQ(m.picInner->Width(), 3000 * 15);
        EXPECT_EQ(m.picInner->ScaleWidth(), 600);
    }
    // The position under the pointer counts the full picture's pixels: the centre of pixel
    // (2999, 0) of 3000 x 2000 over 600 x 600 minutes is 0.1' west of 0°, 0.15' south of 60° N.
    const QPointF at(2999.5, 0.5);
    QMouseEvent move(QEvent::MouseMove, at, m.picInner->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(m.picInner, &move);
    EXPECT_EQ(m.MapViewer->PositionText().left(20), "59.59.85N 000.00.10W");
}
