// The program driven from the keyboard alone.
#include "support/AppTest.h"
#include "ui/frmCoverage.h"
#include "ui/frmFindMaps.h"
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

namespace {
// The controls Tab reaches in a window, in the order it reaches them from `first`.
std::vector<QWidget*> TabChain(QWidget* first) {
    std::vector<QWidget*> chain;
    first->setFocus();
    for (QWidget* w = QApplication::focusWidget(); w && chain.size() < 20;) {
        if (std::find(chain.begin(), chain.end(), w) != chain.end()) break;
        chain.push_back(w);
        QTest::keyClick(w, Qt::Key_Tab);
        w = QApplication::focusWidget();
    }
    return chain;
}
// The smallest rectangle holding every pixel that differs between two pictures.
QRect Changed(const QImage& a, const QImage& b) {
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) r |= QRect(x, y, 1, 1);
    return r;
}
} // namespace

TEST_F(KeyboardTest, FindMapsAndCoverageByKeysAlone) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/a.bmp"), 40, 30);
    // In reading order (north first, then west first): d, c, b, a.
    WriteMap("d-world.inf", "80N,170W\r\n80S,170E\r\na.bmp\r\n");
    WriteMap("c-north.inf", "60N,20W\r\n40N,0E\r\na.bmp\r\n");
    WriteMap("a-east.inf", "30N,30E\r\n10N,60E\r\na.bmp\r\n");
    WriteMap("b-west.inf", "30N,60W\r\n10N,30W\r\na.bmp\r\n");
    frmMain& m = Start();
    m.show();
    auto selected = [&] {
        return m.DirTree->SelectedItem() ? m.DirTree->SelectedItem()->text(0) : QString();
    };

    // Find Maps: the place, then the list; the keys choose a map; Esc closes.
    QTest::keyClick(&m, Qt::Key_F, Qt::ControlModifier);
    frmFindMaps& f = frmFindMaps::Instance();
    f.activateWindow();
    WaitFor([&] { return QApplication::activeWindow() == &f; });
    EXPECT_EQ(TabChain(f.txtPlace), (std::vector<QWidget*>{f.txtPlace, f.lstMaps}));
    QTest::keyClicks(f.txtPlace, "20N,40E"); // in a-east, then d-world
    QTest::keyClick(f.txtPlace, Qt::Key_Tab);
    QTest::keyClick(f.lstMaps, Qt::Key_Down);
    EXPECT_EQ(selected(), "d-world.inf");
    QTest::keyClick(f.lstMaps, Qt::Key_Escape);
    EXPECT_FALSE(frmFindMaps::Loaded());

    // Coverage: Ctrl+arrows go from map to map in reading order, from the map selected, the
    // map they are on outlined, without panning; Enter opens it; Esc closes.
    m.mnuViewCoverage->trigger();
    frmCoverage& c = frmCoverage::Instance();
    QWidget* canvas = c.Canvas();
    c.activateWindow();
    WaitFor([&] { return QApplication::activeWindow() == &c; });
    WaitFor([&] { return c.picCanvas->Decoding() == 0; });
    EXPECT_EQ(TabChain(canvas), std::vector<QWidget*>{canvas});
    canvas->clearFocus();
    const QImage plain = canvas->grab().toImage(); // no ring without the focus
    canvas->setFocus();
    auto outlined = [&](double north, double west, double south, double east) {
        const QRect ring = Changed(plain, canvas->grab().toImage());
        const QRectF map = QRectF(c.ToCanvas(north, west), c.ToCanvas(south, east));
        return ring.contains(map.toRect()) && map.adjusted(-6, -6, 6, 6).contains(ring);
    };
    const QPointF middle(canvas->width() / 2.0, canvas->height() / 2.0);
    const QPointF before = c.picCanvas->ToEarth(middle);
    EXPECT_TRUE(outlined(80, -170, -80, 170)) << "d-world";
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(outlined(60, -20, 40, 0)) << "c-north";
    QTest::keyClick(canvas, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_TRUE(outlined(30, -60, 10, -30)) << "b-west";
    for (int i = 0; i < 4; ++i) QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(outlined(30, 30, 10, 60)) << "the last stays the last";
    EXPECT_EQ(c.picCanvas->ToEarth(middle), before); // nothing panned
    QTest::keyClick(canvas, Qt::Key_Return);
    EXPECT_EQ(selected(), "a-east.inf");
    QTest::keyClick(canvas, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(canvas, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(selected(), "b-west.inf");
    QTest::keyClick(canvas, Qt::Key_Escape);
    EXPECT_FALSE(frmCoverage::Loaded());
    EXPECT_TRUE(messages.empty());
}
