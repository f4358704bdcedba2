#include "app/StartupCode.h"
#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QRectF Stored() {
    auto v = [](const char* key) {
        return QString::fromStdString(Platform::GetSetting("Varnet", "Settings", key, "missing"))
            .toDouble();
    };
    return QRectF(v("MainLeft"), v("MainTop"), v("MainWidth"), v("MainHeight"));
}
QRectF Placement(const frmMain& m) {
    return QRectF(m.Left(), m.Top(), m.Width(), m.Height());
}
} // namespace

using PlacementTest = AppTest;

TEST_F(PlacementTest, FirstRunThenEachCloseKeepsTheLastNormalPlacement) {
    frmMain* main = &Start();
    EXPECT_EQ(Placement(*main), QRectF(1000, 1000, 6500, 6500));
    main->Move(1500, 1200, 7200, 5400);
    main->mnuFileExit_Click();
    Flush();
    EXPECT_FALSE(frmMain::Loaded());
    EXPECT_EQ(Stored(), QRectF(1500, 1200, 7200, 5400));

    // Closed while maximised: the maximised bounds are kept and reopen as a normal window.
    StartupCode::Main();
    main = StartupCode::MainWindow;
    EXPECT_EQ(Placement(*main), QRectF(1500, 1200, 7200, 5400));
    main->showMaximized();
    Flush();
    const QRectF maximised = Placement(*main);
    EXPECT_GT(maximised.width(), 7200);
    main->close();
    Flush();
    EXPECT_EQ(Stored(), maximised);
    StartupCode::Main();
    main = StartupCode::MainWindow;
    EXPECT_FALSE(main->isMaximized());
    EXPECT_EQ(Placement(*main), maximised);

    // Closed while minimised: nothing is stored.
    main->Move(2000, 2000, 6000, 6000);
    main->showMinimized();
    Flush();
    main->Unload();
    Flush();
    EXPECT_EQ(Stored(), maximised);
}

TEST_F(PlacementTest, BadLostOrAbsurdValuesAreReplacedAndNeverSavedAgain) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const float farRight = float(screen.right() + 100) * 15;
    const float areaW = float(area.width()) * 15, areaH = float(area.height()) * 15;
    const std::string huge = "99999999999999999999999999999999999999";
    struct Case {
        std::string left, top, width, height;
        QRectF expected;
    } cases[] = {
        {"abc", "1200", "7000", "", QRectF(1000, 1200, 7000, 6500)},
        {"1,5", "1e3", " 4000 ", "-5", QRectF(1000, 1000, 4000, 6500)},
        // Entirely beyond every screen: back to the first-run corner, same size.
        {std::to_string(farRight), "300", "5000", "4000", QRectF(1000, 1000, 5000, 4000)},
        {"-90000", "-90000", "5000", "4000", QRectF(1000, 1000, 5000, 4000)},
        {huge, huge, "5000", "4000", QRectF(1000, 1000, 5000, 4000)},
        // Partly off screen: moved within it, the size kept.
        {"-3000", "-2000", "6000", "5000", QRectF(area.left() * 15, area.top() * 15, 6000, 5000)},
        {std::to_string(areaW - 1000), "300", "5000", "4000",
         QRectF(area.left() * 15 + areaW - 5000, 300, 5000, 4000)},
        // Sizes no window can use: within the layout's least and the screen's area.
        {"0", "0", "300000000", huge, QRectF(0, 0, areaW, areaH)},
        {"0", "0", "0", "1", QRectF(0, 0, 3000, 3000)},
    };
    for (const auto& c : cases) {
        host.WriteSettings("Varnet", "[Settings]\nMainLeft=" + c.left + "\nMainTop=" + c.top +
                                         "\nMainWidth=" + c.width + "\nMainHeight=" + c.height +
                                         "\n");
        frmMain& main = Start();
        // Windows partly off screen may be nudged by the window system's frame (a few pixels).
        const QRectF got = Placement(main);
        EXPECT_NEAR(got.left(), c.expected.left(), 45) << c.left;
        EXPECT_NEAR(got.top(), c.expected.top(), 45) << c.top;
        EXPECT_NEAR(got.width(), c.expected.width(), 15) << c.width;
        EXPECT_NEAR(got.height(), c.expected.height(), 15) << c.height;
        main.Unload();
        Flush();
        // What is saved is the placement the window had, written as numbers.
        EXPECT_EQ(Stored(), got) << c.width;
    }
}

// File > Exit ends the program whatever becomes of the placement: a settings file that cannot
// be written, or whose lock another program keeps (waited for a few seconds at most).
TEST_F(PlacementTest, APlacementThatCannotBeSavedIsSaidAndLosesNothingElse) {
    const std::string file = host.Root() + "/home/.config/Varnet/settings.ini";
    int kept = -1;
    const struct {
        const char* what;
        std::function<void()> spoil;
    } cases[] = {
        {"read-only", [&] { chmod(file.c_str(), 0444); }},
        {"locked",
         [&] {
             kept = open((host.Root() + "/home/.config/Varnet/.settings.ini.lock").c_str(),
                         O_RDWR | O_CREAT | O_CLOEXEC, 0600);
             flock(kept, LOCK_EX);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.WriteSettings("Varnet", "[Settings]\r\nMainLeft=1500\r\n[Mine]\r\nkeep=this\r\n");
        frmMain& main = Start();
        c.spoil();
        testing::internal::CaptureStderr();
        main.mnuFileExit_Click();
        Flush();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(frmMain::Loaded());
        EXPECT_NE(said.find("placement could not be saved"), std::string::npos) << said;
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(TempHost::Read(file), "[Settings]\r\nMainLeft=1500\r\n[Mine]\r\nkeep=this\r\n");
        chmod(file.c_str(), 0644);
    }
    close(kept);
}

TEST_F(PlacementTest, ADialogCentredOverAWindowAtTheScreensEdgeOpensWithinTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    host.WriteSettings("Varnet", "[Settings]\nMainLeft=" + std::to_string(area.left() * 15) +
                                     "\nMainTop=" + std::to_string(area.top() * 15) +
                                     "\nMainWidth=3000\nMainHeight=3000\n");
    frmMain& main = Start();
    QRect about;
    QTimer::singleShot(0, [&] {
        about = frmAbout::Instance().frameGeometry();
        frmAbout::Instance().Unload();
    });
    main.mnuHelpAbout_Click();
    EXPECT_TRUE(area.contains(about)) << about.x() << "," << about.y();
}
