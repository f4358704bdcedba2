#include "app/StartupCode.h"
#include "support/AppTest.h"
#include "ui/frmMain.h"
#include "ui/frmProgress.h"
#include "ui/frmSplash.h"

#include <QApplication>
#include <QWindow>

using StartupTest = AppTest;

TEST_F(StartupTest, WithoutTheHostItSaysSoAndOpensNothing) {
    const char* const stored[] = {nullptr, "", "\\"};
    for (const char* value : stored) {
        messages.clear();
        if (value)
            host.WriteSettings("Tormund Systems",
                               std::string("[Stelmar32]\nProgram Folder=") + value + "\n");
        StartupCode::Main();
        Flush();
        EXPECT_EQ(
            messages,
            (Messages{{"Unable to locate the Stelmar main directory. This software requires "
                       "Stelmar to be installed. If Stelmar is installed on this machine then "
                       "please reinstall it.",
                       48, "Fatal Error"}}));
        EXPECT_EQ(StartupCode::MainWindow, nullptr);
        EXPECT_FALSE(frmMain::Loaded());
        EXPECT_FALSE(frmSplash::Loaded());
        EXPECT_EQ(Form::LoadedCount(), 0);
    }
}

TEST_F(StartupTest, OneTrailingBackslashIsRemoved) {
    struct Case {
        const char *stored, *folder;
    } cases[] = {
        {"C:\\Stelmar\\", "C:\\Stelmar"},
        {"C:\\Stelmar", "C:\\Stelmar"},
        {"C:\\Stelmar\\\\", "C:\\Stelmar\\"},
        {"\\", ""},
    };
    for (const auto& c : cases) {
        host.WriteSettings("Tormund Systems",
                           std::string("[Stelmar32]\nProgram Folder=") + c.stored + "\n");
        EXPECT_EQ(StartupCode::GetHostFolder(), c.folder) << c.stored;
        EXPECT_EQ(StartupCode::HostFolder, c.folder) << c.stored;
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
    // Seen when the progress window comes up for the library: the splash window then.
    struct Watch : QObject {
        bool paintedOnScreen = false, seen = false, onScreenAtFill = false;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (frmSplash::Loaded() && o == &frmSplash::Instance() && e->type() == QEvent::Paint)
                paintedOnScreen =
                    paintedOnScreen || frmSplash::Instance().windowHandle()->isExposed();
            if (!seen && e->type() == QEvent::Show && qobject_cast<frmProgress*>(o)) {
                seen = true;
                onScreenAtFill = paintedOnScreen;
            }
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    Start();
    qApp->removeEventFilter(&watch);
    EXPECT_TRUE(watch.seen);
    EXPECT_TRUE(watch.onScreenAtFill);
}
