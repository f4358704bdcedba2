#include "app/StartupCode.h"
#include "support/AppTest.h"
#include "ui/Pictures.h"
#include "ui/frmMain.h"
#include "ui/frmProgress.h"
#include "ui/frmSplash.h"
#include "view/PictureBox.h"

#include <QApplication>
#include <QWindow>

using StartupTest = AppTest;

// The host's folder as stored, less one trailing backslash; without one the program says so and
// opens nothing.
TEST_F(StartupTest, TheHostsFolderIsReadOrItsAbsenceSaid) {
    struct Case {
        const char *stored, *folder;
    } cases[] = {
        {nullptr, ""},
        {"", ""},
        {"\\", ""},
        {"C:\\Stelmar\\", "C:\\Stelmar"},
        {"C:\\Stelmar", "C:\\Stelmar"},
        {"C:\\Stelmar\\\\", "C:\\Stelmar\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(not stored)");
        if (c.stored)
            host.WriteSettings("Tormund Systems",
                               std::string("[Stelmar32]\nProgram Folder=") + c.stored + "\n");
        EXPECT_EQ(StartupCode::GetHostFolder(), c.folder);
        EXPECT_EQ(StartupCode::HostFolder, c.folder);
        if (*c.folder) continue;
        messages.clear();
        StartupCode::Main();
        Flush();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].prompt.indexOf("Unable to locate the Stelmar main directory"), -1);
        EXPECT_EQ(StartupCode::MainWindow, nullptr);
        EXPECT_EQ(Form::LoadedCount(), 0);
    }
}

TEST_F(StartupTest, AFolderThatDoesNotExistIsAccepted) {
    host.WriteSettings("Tormund Systems", "[Stelmar32]\nProgram Folder=C:\\Nowhere\n");
    StartupCode::Main();
    Flush();
    ASSERT_NE(StartupCode::MainWindow, nullptr);
    frmMain& main = *StartupCode::MainWindow;
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(frmSplash::Loaded()); // gone before the main window is shown
    EXPECT_EQ(Form::LoadedCount(), 1);
    EXPECT_EQ(main.DirTree->NodeCount(), 2); // the root and the drive
    // The folder that cannot be listed is named, where the tree would be empty without a word.
    const QString why = "The Maps folder C:\\Nowhere\\Maps cannot be read: Path not found.";
    EXPECT_EQ(main.sbStatusBar->PanelText(1), why);
    EXPECT_EQ(main.DirTree->topLevelItem(0)->child(0)->toolTip(0), why);
}

TEST_F(StartupTest, TheSplashIsOnScreenAndPaintedBeforeTheLibraryIsRead) {
    // Seen when the progress window comes up for the library: the splash window then, and its
    // logo, drawn ahead on a thread of its own.
    struct Watch : QObject {
        bool paintedOnScreen = false, seen = false, onScreenAtFill = false;
        QImage logo;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (frmSplash::Loaded() && o == &frmSplash::Instance() && e->type() == QEvent::Paint)
                paintedOnScreen =
                    paintedOnScreen || frmSplash::Instance().windowHandle()->isExposed();
            if (!seen && e->type() == QEvent::Show && qobject_cast<frmProgress*>(o)) {
                seen = true;
                onScreenAtFill = paintedOnScreen;
                logo = frmSplash::Instance().picLogo->Picture();
            }
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    Start();
    qApp->removeEventFilter(&watch);
    EXPECT_TRUE(watch.seen);
    EXPECT_TRUE(watch.onScreenAtFill);
    PictureBox drawnHere;
    ShowSplashLogo(&drawnHere);
    EXPECT_FALSE(watch.logo.isNull());
    EXPECT_EQ(watch.logo, drawnHere.Picture());
}
