#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QTimer>

using CommandsTest = AppTest;

TEST_F(CommandsTest, PlaceholdersAndHelpSayTheirMessages) {
    frmMain& main = Start();
    const QString help =
        "Unable to display Help Contents. There is no Help associated with this project.";
    struct Case {
        std::function<void()> command;
        QString prompt;
        int style;
    } cases[] = {
        {[&] { main.mnuFilePrint_Click(); }, "Add 'mnuFilePrint_Click' code.", 0},
        {[&] { main.tbToolBar->Button("Print")->trigger(); }, "Add 'mnuFilePrint_Click' code.", 0},
        {[&] { main.mnuFilePrintPreview_Click(); }, "Add 'mnuFilePrintPreview_Click' code.", 0},
        {[&] { main.mnuHelpContents_Click(); }, help, 64},
        {[&] { main.mnuHelpSearchForHelpOn->trigger(); }, help, 64},
    };
    for (const auto& c : cases) {
        messages.clear();
        c.command();
        EXPECT_EQ(messages, (Messages{{c.prompt, c.style, "Varnet"}}));
    }
    // Properties and Refresh do nothing at all.
    messages.clear();
    main.mnuFileProperties->trigger();
    main.mnuViewRefresh->trigger();
    main.tbToolBar_ButtonClick("Other");
    EXPECT_TRUE(messages.empty());
}

TEST_F(CommandsTest, ViewTogglesHideAndShowTheBarsButKeepTheirBands) {
    frmMain& main = Start();
    main.sbStatusBar->SetPanelText(1, "Ready");
    const QRectF splitter = Twips::Rect(main.Splitter1);
    struct Bar {
        QAction* item;
        QWidget* bar;
    } bars[] = {{main.mnuViewToolbar, main.tbToolBar}, {main.mnuViewStatusBar, main.sbStatusBar}};
    for (const auto& b : bars) {
        b.item->trigger(); // through the menu, as the user chooses it
        EXPECT_FALSE(b.item->isChecked());
        EXPECT_FALSE(b.bar->isVisible());
        main.Form_Resize();
        EXPECT_EQ(Twips::Rect(main.Splitter1), splitter); // the band stays empty
        b.item->trigger();
        EXPECT_TRUE(b.item->isChecked());
        EXPECT_TRUE(b.bar->isVisible());
    }
    EXPECT_EQ(main.sbStatusBar->PanelText(1), "Ready");
}

TEST_F(CommandsTest, PageSetupShowsThePrintDialogAndACancelChangesNothing) {
    frmMain& main = Start();
    QString shownTitle;
    int shown = 0;
    SetPrintSetupHook([&](const QString& title) {
        shownTitle = title;
        ++shown;
        return false; // cancelled
    });
    main.mnuFilePageSetup_Click();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(shownTitle, "Page Setup");
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(frmMain::Loaded());
}

TEST_F(CommandsTest, AboutIsModalOwnedByAndCentredOverTheMainWindow) {
    frmMain& main = Start();
    main.Move(1500, 1500, 9000, 7000);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(frmAbout::Loaded());
        frmAbout& about = frmAbout::Instance();
        seen = true;
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(about.windowModality(), Qt::ApplicationModal);
        EXPECT_NEAR(about.Left() + about.Width() / 2, 1500 + 4500, 15);
        EXPECT_NEAR(about.Top() + about.Height() / 2, 1500 + 3500, 15);
        about.cmdOK->click();
    });
    main.mnuHelpAbout_Click(); // returns once the dialog is closed
    EXPECT_TRUE(seen);
    EXPECT_FALSE(frmAbout::Loaded());
}

TEST_F(CommandsTest, ExitClosesEveryWindowAndKeepsThePlacement) {
    frmMain& main = Start();
    main.Move(2000, 1800, 7000, 6000);
    frmAbout::Instance().ShowModeless(); // a window still open is closed too
    main.mnuFileExit_Click();
    Flush();
    EXPECT_EQ(Form::LoadedCount(), 0);
    EXPECT_EQ(Platform::GetSetting("Varnet", "Settings", "MainLeft", ""), "2000");

    // With the event loop running, Exit ends the program.
    frmMain& again = Start();
    QTimer::singleShot(0, [&] { again.mnuFileExit_Click(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); }); // a guard, never reached
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(Platform::GetSetting("Varnet", "Settings", "MainHeight", ""), "6000");
}
