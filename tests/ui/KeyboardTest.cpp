// The program driven from the keyboard alone.
#include "support/AppTest.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QTest>

using KeyboardTest = AppTest;

TEST_F(KeyboardTest, ADefinitionsMenuFromTheTree) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/a.bmp"), 40, 40);
    WriteMap("a.inf", "10N,10E\r\n0N,20E\r\na.bmp\r\n");
    WriteMap("broken.inf", "no corners\r\n");
    frmMain& m = Start();
    Select(m, "a.inf");
    m.DirTree->setFocus();
    // The menu key opens the menu of the node with the focus; its access keys choose.
    auto menu = [&](char key) {
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
        QApplication::sendEvent(m.DirTree, &menuKey);
        EXPECT_TRUE(m.mnuDefinition->isVisible());
        QTest::keyClick(m.mnuDefinition, key);
        EXPECT_FALSE(m.mnuDefinition->isVisible());
    };
    menu('p');
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "C:\\Stelmar\\Maps\\a.inf");
    menu('c');
    ASSERT_TRUE(frmCoverage::Loaded());
    EXPECT_EQ(frmCoverage::Instance().picCanvas->Selected(), "a.inf");
    // A definition without a place: the coverage says nothing of it, the status bar says why.
    QTest::keyClick(m.DirTree, Qt::Key_Down);
    ASSERT_EQ(m.DirTree->currentItem()->text(0), "broken.inf");
    menu('c');
    EXPECT_TRUE(m.sbStatusBar->PanelText(1).startsWith("broken.inf has no place"));
    EXPECT_TRUE(messages.empty());
}
