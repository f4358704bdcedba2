#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QTimer>

using CommandsTest = AppTest;

// A user tries each command of the menus and the toolbar, then leaves by File > Exit.
TEST_F(CommandsTest, EveryCommandDoesWhatItSays) {
    frmMain& main = Start();
    const QString help =
        "Unable to display Help Contents. There is no Help associated with this project.";
    struct Case {
        QAction* command;
        QString prompt;
        int style;
    } cases[] = {
        {main.mnuFilePrint, "Add 'mnuFilePrint_Click' code.", 0},
        {main.tbToolBar->Button("Print"), "Add 'mnuFilePrint_Click' code.", 0},
        {main.mnuFilePrintPreview, "Add 'mnuFilePrintPreview_Click' code.", 0},
        {main.mnuHelpContents, help, 64},
        {main.mnuHelpSearchForHelpOn, help, 64},
    };
    for (const auto& c : cases) {
        messages.clear();
        c.command->trigger();
        EXPECT_EQ(messages, (Messages{{c.prompt, c.style, "Varnet"}}));
    }
    messages.clear();
    main.mnuFileProperties->trigger(); // does nothing at all
    main.tbToolBar_ButtonClick("Other");
    EXPECT_TRUE(messages.empty());

    // Page Setup shows the print dialog; a cancel changes nothing.
    QStringList printTitles;
    SetPrintSetupHook([&](const QString& title) {
        printTitles << title;
        return false;
    });
    main.mnuFilePageSetup->trigger();
    EXPECT_EQ(printTitles, QStringList{"Page Setup"});

    // The view toggles hide and show the bars, whose bands stay.
    const QRectF splitter = Twips::Rect(main.Splitter1);
    for (QAction* item : {main.mnuViewToolbar, main.mnuViewStatusBar}) {
        QWidget* bar =
            item == main.mnuViewToolbar ? static_cast<QWidget*>(main.tbToolBar) : main.sbStatusBar;
        item->trigger();
        EXPECT_FALSE(item->isChecked() || bar->isVisible());
        main.Form_Resize();
        EXPECT_EQ(Twips::Rect(main.Splitter1), splitter);
        item->trigger();
        EXPECT_TRUE(item->isChecked() && bar->isVisible());
    }

    // About is modal and centred over the main window.
    main.Move(1500, 1500, 9000, 7000);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        frmAbout& about = frmAbout::Instance();
        seen = about.isVisible() && about.windowModality() == Qt::ApplicationModal;
        EXPECT_NEAR(about.Left() + about.Width() / 2, 1500 + 4500, 15);
        EXPECT_NEAR(about.Top() + about.Height() / 2, 1500 + 3500, 15);
        about.cmdOK->click();
    });
    main.mnuHelpAbout->trigger(); // returns once the dialog is closed
    EXPECT_TRUE(seen);

    // Exit closes every window, keeps the placement and, with the event loop running, ends
    // the program.
    main.Move(2000, 1800, 7000, 6000);
    frmAbout::Instance().ShowModeless();
    QTimer::singleShot(0, [&] { main.mnuFileExit->trigger(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); }); // a guard, never reached
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(Form::LoadedCount(), 0);
    EXPECT_EQ(Platform::GetSetting("Varnet", "Settings", "MainLeft", ""), "2000");
    EXPECT_EQ(Platform::GetSetting("Varnet", "Settings", "MainHeight", ""), "6000");
    EXPECT_TRUE(messages.empty());
}
