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

TEST_F(KeyboardTest, TheMapPictureByKeys) {
    host.MakeHost();
    // 1000 x 1500 pixels over 100 x 150 minutes: a pixel is a tenth of a minute each way.
    WriteImage(host.OnC("Stelmar/Maps/big.bmp"), 1000, 1500);
    WriteMap("big.inf", "51.30.00N,001.00.00W\r\n49.00.00N,000.40.00E\r\nbig.bmp\r\n");
    frmMain& m = Start();
    m.resize(900, 700);
    m.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    Select(m, "big.inf");
    auto panel = [&] { return m.sbStatusBar->PanelText(StatusBar::PanelOf("Position")); };
    auto shown = [&] { return QPoint(m.HScroll1->Value(), m.VScroll1->Value()); };
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    const QString before = panel();
    const QImage unframed = m.picOuter->grab().toImage();

    // Tab goes from the tree to the picture; a frame shows that it has the focus, and the
    // position panel tells the place at the frame's centre.
    m.DirTree->setFocus();
    QTest::keyClick(m.DirTree, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), m.picOuter);
    EXPECT_NE(m.picOuter->grab().toImage(), unframed);
    const QString centre = panel();
    EXPECT_NE(centre, before);

    // The arrows pan by a tenth of the frame, Page Down by a frame, Home and End to the edges.
    const float tenth = m.picOuter->InnerWidth() / 10, frame = m.picOuter->InnerHeight();
    QTest::keyClick(m.picOuter, Qt::Key_Right);
    EXPECT_NEAR(m.HScroll1->Value(), tenth, 1);
    EXPECT_NE(panel(), centre);
    QTest::keyClick(m.picOuter, Qt::Key_PageDown);
    EXPECT_NEAR(m.VScroll1->Value(), frame, 1);
    QTest::keyClick(m.picOuter, Qt::Key_End);
    EXPECT_EQ(shown(), QPoint(m.HScroll1->Max(), m.VScroll1->Max()));
    QTest::keyClick(m.picOuter, Qt::Key_Home);
    EXPECT_EQ(shown(), QPoint(0, 0));
    QTest::keyClick(m.picOuter, Qt::Key_Left); // nothing beyond the edge
    EXPECT_EQ(shown(), QPoint(0, 0));

    // + and - zoom about the centre: the place there stays.
    QTest::keyClick(m.picOuter, Qt::Key_Right);
    QTest::keyClick(m.picOuter, Qt::Key_Down);
    const QString here = panel();
    QTest::keyClick(m.picOuter, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_GT(m.MapViewer->Zoom(), 1);
    QTest::keyClick(m.picOuter, Qt::Key_Minus);
    EXPECT_EQ(m.MapViewer->Zoom(), 1);
    EXPECT_EQ(panel(), here);

    // Ctrl+Shift+C copies the position; so does the first item of the picture's menu.
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m.picOuter, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), here);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m.picOuter, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(m.mnuPicture->isVisible());
    EXPECT_EQ(m.mnuPicture->actions().first(), m.mnuPictureCopyPosition);
    QTest::keyClick(m.mnuPicture, Qt::Key_Down);
    QTest::keyClick(m.mnuPicture, Qt::Key_Return);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), here);

    // Tab on: the frame goes, and so does the position.
    QTest::keyClick(m.picOuter, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), m.picOuter);
    EXPECT_EQ(m.picOuter->grab().toImage(), unframed); // the picture covers the frame
    EXPECT_EQ(panel(), "");
    // A click gives the picture the focus without a frame.
    QTest::mouseClick(m.picInner, Qt::LeftButton, {},
                      m.picInner->mapFrom(m.picOuter, m.picOuter->rect().center()));
    EXPECT_EQ(QApplication::focusWidget(), m.picOuter);
    EXPECT_EQ(m.picOuter->grab().toImage(), unframed);
    EXPECT_TRUE(messages.empty());
}
