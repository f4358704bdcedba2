#include "mapdef/frmInfEdit.h"
#include "support/AppTest.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"
#include "ui/frmProgress.h"
#include "ui/frmSplash.h"

#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <algorithm>

namespace {
// The names of a window's controls in tab order.
std::vector<std::string> TabOrder(QWidget* window) {
    std::vector<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (TabIndexOf(w) >= 0) controls.push_back(w);
    std::stable_sort(controls.begin(), controls.end(),
                     [](QWidget* a, QWidget* b) { return TabIndexOf(a) < TabIndexOf(b); });
    std::vector<std::string> names;
    for (QWidget* w : controls) names.push_back(w->objectName().toStdString());
    return names;
}
} // namespace

using DefinitionsTest = AppTest;

TEST_F(DefinitionsTest, WindowsCaptionsSizesButtonsAndTabOrder) {
    frmMain main;
    frmInfEdit edit;
    frmSplash splash;
    frmAbout about;
    frmOptions options;
    frmProgress progress;
    using V = std::vector<std::string>;
    struct Case {
        Form* form;
        const char* caption;
        float width, height;
        QPushButton *defaultButton, *cancelButton;
        V tabOrder;
    } cases[] = {
        {&main, "Varnet", 8730, 6330, nullptr, nullptr,
         V{"sbStatusBar", "tbToolBar", "Splitter1", "DirTree", "Splitter2", "picOuter",
           "lstDetails", "VScroll1", "HScroll1", "picInner"}},
        {&edit, "Inf File Editor", 5505, 2505, edit.cmdCancel, nullptr,
         V{"cmdOk", "cmdCancel", "txtFilename", "Label1", "cmdBrowse", "Label2", "Label3", "Label4",
           "Label5", "txtTLLat", "txtBRLat", "txtTLLon", "txtBRLon"}},
        {&splash, "", 7455, 4710, nullptr, nullptr,
         V{"fraMainFrame", "lblLicenseTo", "picLogo", "lblWarning", "lblCopyright", "lblCompany",
           "lblVersion", "lblPlatform", "lblCompanyProduct", "lblProductName"}},
        {&about, "About Varnet", 5865, 3630, about.cmdOK, about.cmdOK,
         V{"cmdOK", "cmdSysInfo", "picIcon", "lblDisclaimer", "lblVersion", "lblTitle",
           "lblDescription"}},
        {&options, "Options", 6150, 5040, nullptr, options.cmdCancel,
         V{"tbsOptions", "cmdOK", "picOptions(0)", "cmdCancel", "fraSample1", "cmdApply",
           "picOptions(1)", "picOptions(3)", "fraSample2", "picOptions(2)", "fraSample3",
           "fraSample4"}},
        {&progress, "Reading Map files", 8700, 675, nullptr, nullptr, V{"ProgressBar1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form->objectName().toStdString());
        EXPECT_EQ(c.form->windowTitle(), c.caption);
        EXPECT_EQ(c.form->ScaleWidth(), c.width);
        EXPECT_EQ(c.form->ScaleHeight(), c.height);
        EXPECT_EQ(c.form->DefaultButton, c.defaultButton);
        EXPECT_EQ(c.form->CancelButton, c.cancelButton);
        EXPECT_EQ(TabOrder(c.form), c.tabOrder);
    }
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint); // no title bar to drag
    EXPECT_FALSE(progress.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(progress.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(main.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(progress.ProgressBar1->Min(), 0);
    EXPECT_EQ(progress.ProgressBar1->Max(), 100);
}

TEST_F(DefinitionsTest, TheMainWindowsMenusToolbarStatusBarAndPictures) {
    frmMain main;
    struct Item {
        QAction* action;
        const char* caption;
        bool checked;
    } items[] = {
        {main.mnuFile, "&File", false},
        {main.mnuFileProperties, "Propert&ies", false},
        {main.mnuFileBar0, "", false},
        {main.mnuFilePageSetup, "Page Set&up...", false},
        {main.mnuFilePrintPreview, "Print Pre&view", false},
        {main.mnuFilePrint, "&Print...", false},
        {main.mnuFileBar1, "", false},
        {main.mnuFileExit, "E&xit", false},
        {main.mnuView, "&View", false},
        {main.mnuViewToolbar, "&Toolbar", true},
        {main.mnuViewStatusBar, "Status &Bar", true},
        {main.mnuViewBar0, "", false},
        {main.mnuViewRefresh, "&Refresh", false},
        {main.mnuTools1, "&Tools", false},
        {main.mnuToolsEditInf, "Edit Inf file...", false},
        {main.mnuHelp, "&Help", false},
        {main.mnuHelpContents, "&Contents", false},
        {main.mnuHelpSearchForHelpOn, "&Search For Help On...", false},
        {main.mnuHelpBar0, "", false},
        {main.mnuHelpAbout, "&About ", false},
    };
    std::vector<QAction*> inOrder;
    for (QAction* top : main.MenuBar->actions()) {
        inOrder.push_back(top);
        for (QAction* a : top->menu()->actions()) inOrder.push_back(a);
    }
    ASSERT_EQ(inOrder.size(), std::size(items));
    for (std::size_t i = 0; i < inOrder.size(); ++i) {
        SCOPED_TRACE(items[i].caption);
        EXPECT_EQ(inOrder[i], items[i].action);
        EXPECT_EQ(items[i].action->text(), items[i].caption);
        EXPECT_EQ(items[i].action->isChecked(), items[i].checked);
        EXPECT_EQ(items[i].action->isSeparator(), std::string(items[i].caption).empty());
        EXPECT_TRUE(items[i].action->shortcut().isEmpty());
        EXPECT_TRUE(items[i].action->isEnabled() && items[i].action->isVisible());
    }

    ASSERT_EQ(main.tbToolBar->ButtonCount(), 1);
    QAction* print = main.tbToolBar->Button("Print");
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->toolTip(), "Print");
    EXPECT_TRUE(print->text().isEmpty());
    EXPECT_EQ(main.sbStatusBar->PanelText(1), "Status");
    const QDate today = QDate::currentDate();
    EXPECT_EQ(main.sbStatusBar->PanelText(2), QLocale().toString(today, QLocale::ShortFormat));

    const std::vector<QString> toolbarKeys = {
        "New",  "Open",   "Save",      "Print",      "Cut",    "Copy",       "Paste",
        "Bold", "Italic", "Underline", "Align Left", "Center", "Align Right"};
    const std::vector<QString> driveKeys = {"unknown", "fixed", "ram",    "remove", "cd",
                                            "folder",  "open",  "remote", "File",   "FileX"};
    struct List {
        const ImageList* list;
        const std::vector<QString>* keys;
        QColor mask;
    } lists[] = {{main.imlToolbarIcons.get(), &toolbarKeys, QColor(192, 192, 192)},
                 {main.DriveImages.get(), &driveKeys, QColor(128, 0, 0)}};
    for (const auto& l : lists) {
        ASSERT_EQ(l.list->Count(), int(l.keys->size()));
        EXPECT_EQ(l.list->MaskColor(), l.mask);
        for (int i = 1; i <= l.list->Count(); ++i) {
            EXPECT_EQ(l.list->Key(i), (*l.keys)[std::size_t(i - 1)]);
            const QImage picture = l.list->Picture(l.list->Key(i)).toImage();
            EXPECT_EQ(picture.size(), QSize(16, 16));
            // Something is drawn: not one colour all over.
            bool drawn = false;
            for (int y = 0; y < 16 && !drawn; ++y)
                for (int x = 0; x < 16 && !drawn; ++x)
                    drawn = picture.pixel(x, y) != picture.pixel(0, 0);
            EXPECT_TRUE(drawn) << l.list->Key(i).toStdString();
        }
    }
}

TEST_F(DefinitionsTest, EnterAndEscPressTheRightButtons) {
    // The editor: Enter in a text box cancels; Esc does nothing.
    TempHost::Write(host.OnC("m.inf"), "1N,1E\r\n0N,2E\r\nx.gif\r\n");
    frmInfEdit& edit = frmInfEdit::Instance();
    edit.setInfPath("C:\\m.inf");
    edit.ShowModeless();
    QTest::keyClick(edit.txtTLLat, Qt::Key_Escape);
    EXPECT_TRUE(frmInfEdit::Loaded());
    QTest::keyClick(edit.txtTLLat, Qt::Key_Return);
    EXPECT_FALSE(frmInfEdit::Loaded());
    EXPECT_TRUE(messages.empty());

    // About: Enter and Esc both press OK.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        frmAbout& about = frmAbout::Instance();
        about.ShowModeless();
        QTest::keyClick(&about, key);
        EXPECT_FALSE(frmAbout::Loaded());
    }
    // Options: Esc presses Cancel, without a word.
    frmOptions& options = frmOptions::Instance();
    options.ShowModeless();
    QTest::keyClick(options.tbsOptions->Tabs, Qt::Key_Escape);
    EXPECT_FALSE(frmOptions::Loaded());
    EXPECT_TRUE(messages.empty());
}
