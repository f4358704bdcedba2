// The coverage window: maps where their corners put them, none hidden by a larger one, fitted
// when it opens, driven by the pointer and the keyboard, and kept where the user can see it.
#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

namespace {
void Click(QWidget* w, QPointF at) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at.toPoint());
}
QString Selected(frmMain& m) {
    return m.DirTree->SelectedItem() ? m.DirTree->SelectedItem()->text(0) : QString();
}
} // namespace

class CoverageTest : public AppTest {
protected:
    // A town inside a county inside a map of the world; their names put the town first and the
    // world last, so a canvas drawn in name order hides the town under the world.
    frmMain& StartLibrary() {
        host.MakeHost();
        const std::pair<const char*, QColor> pictures[] = {{"world.bmp", QColor(200, 200, 40)},
                                                           {"county.bmp", QColor(20, 160, 20)},
                                                           {"town.bmp", QColor(20, 20, 200)}};
        for (const auto& [name, colour] : pictures) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(colour);
            image.save(QString::fromStdString(host.OnC("Stelmar/Maps/") + name));
        }
        WriteMap("world.inf", "90N,180W\r\n90S,180E\r\nworld.bmp\r\n");
        WriteMap("county.inf", "55N,5W\r\n45N,5E\r\ncounty.bmp\r\n");
        WriteMap("a-town.inf", "51N,1W\r\n49N,1E\r\ntown.bmp\r\n");
        WriteMap("c.inf", "30N,0E\r\n25N,5E\r\natlantis.jpg\r\n"); // no picture
        WriteMap("broken.inf", "no corners\r\n");                  // no place
        frmMain& m = Start();
        m.show();
        return m;
    }
    frmCoverage& Open(frmMain& m) {
        m.mnuViewCoverage->trigger();
        frmCoverage& c = frmCoverage::Instance();
        WaitFor([&] { return c.picCanvas->Decoding() == 0; });
        Flush();
        return c;
    }
};

TEST_F(CoverageTest, ASmallMapInsideAWorldMapIsVisibleAndClickable) {
    frmMain& m = StartLibrary();
    frmCoverage& c = Open(m);
    QWidget* canvas = c.Canvas();
    // Zoomed in on the town by the wheel, about the pointer.
    const QPointF town = c.ToCanvas(50, 0);
    QWheelEvent wheel(town, canvas->mapToGlobal(town), QPoint(), QPoint(0, 120 * 8), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    EXPECT_NEAR(c.picCanvas->ToEarth(town).x(), 50, 1e-6);
    WaitFor([&] { return c.picCanvas->Decoding() == 0; });
    auto colourAt = [&](double lat, double lon) {
        return canvas->grab().toImage().pixelColor(c.ToCanvas(lat, lon).toPoint());
    };
    EXPECT_EQ(colourAt(50, 0), QColor(20, 20, 200));
    EXPECT_EQ(colourAt(50, 3), QColor(20, 160, 20));
    EXPECT_EQ(colourAt(50, 7), QColor(200, 200, 40));

    // A click takes the smallest map there; clicks at the same place the larger ones in turn.
    for (const char* name : {"a-town.inf", "county.inf", "world.inf", "a-town.inf"}) {
        Click(canvas, town);
        EXPECT_EQ(Selected(m), name);
    }
    Click(canvas, c.ToCanvas(50, 3)); // elsewhere: the smallest there
    EXPECT_EQ(Selected(m), "county.inf");
    EXPECT_EQ(Details(m)[1], "Map Filename county.bmp");
    // The selected map is outlined, and hides nothing.
    Select(m, "world.inf");
    EXPECT_EQ(colourAt(50, 0), QColor(20, 20, 200));
    QHelpEvent tip(QEvent::ToolTip, town.toPoint(), canvas->mapToGlobal(town.toPoint()));
    QApplication::sendEvent(canvas, &tip);
    EXPECT_EQ(QToolTip::text(), "a-town.inf\ncounty.inf\nworld.inf");
    // A map chosen in the tree off the canvas is brought into view.
    Select(m, "c.inf");
    EXPECT_TRUE(QRectF(canvas->rect()).contains(c.ToCanvas(27.5, 2.5)));
}

TEST_F(CoverageTest, OpensFittedOnScreenAboveTheMainWindowAndFollowsKeysAndPalette) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    host.WriteSettings(
        "Varnet", "[Settings]\nCoverageLeft=" + std::to_string(screen.right() * 15 - 3000) +
                      "\nCoverageTop=1500\nCoverageWidth=" + std::to_string(screen.width() * 20) +
                      "\nCoverageHeight=7000\n");
    frmMain& m = StartLibrary();
    frmCoverage& c = Open(m);
    EXPECT_TRUE(screen.contains(c.frameGeometry())) << "brought within the screen";
    // Owned by the main window, of a type the window system keeps above its owner.
    EXPECT_EQ(c.windowHandle()->transientParent(), m.windowHandle());
    EXPECT_EQ(c.windowType(), Qt::Tool);

    // Fitted at its real size: the library's box (the world map's) fills the canvas one way
    // and is centred both ways.
    QWidget* canvas = c.Canvas();
    const QPointF nw = c.ToCanvas(90, -180), se = c.ToCanvas(-90, 180);
    EXPECT_TRUE(QRectF(canvas->rect()).contains(QRectF(nw, se)));
    EXPECT_GT(std::max((se.x() - nw.x()) / canvas->width(), (se.y() - nw.y()) / canvas->height()),
              0.8);
    EXPECT_NEAR(nw.x() + se.x(), canvas->width(), 1);
    EXPECT_NEAR(nw.y() + se.y(), canvas->height(), 1);

    // A map without a picture says why.
    QHelpEvent tip(QEvent::ToolTip, c.ToCanvas(27.5, 2.5).toPoint(), QPoint());
    QApplication::sendEvent(canvas, &tip);
    EXPECT_TRUE(QToolTip::text().startsWith("c.inf: ")) << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().endsWith("world.inf")) << QToolTip::text().toStdString();

    // A dark palette gives a dark canvas, beyond the maps.
    QPalette dark = canvas->palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 35));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    canvas->setPalette(dark);
    EXPECT_EQ(canvas->grab().toImage().pixelColor(c.ToCanvas(-99, -189).toPoint()),
              QColor(30, 30, 35));

    // The keyboard: Page Down steps through the maps in view, smallest first; arrows pan, and
    // + and - zoom.
    canvas->setFocus();
    QTest::keyClick(canvas, Qt::Key_PageDown);
    EXPECT_EQ(Selected(m), "a-town.inf");
    QTest::keyClick(canvas, Qt::Key_PageDown);
    EXPECT_EQ(Selected(m), "c.inf");
    QTest::keyClick(canvas, Qt::Key_PageUp);
    EXPECT_EQ(Selected(m), "a-town.inf");
    const QPointF middle(canvas->width() / 2.0, canvas->height() / 2.0);
    const QPointF before = c.picCanvas->ToEarth(middle);
    QTest::keyClick(canvas, Qt::Key_Right);
    QTest::keyClick(canvas, Qt::Key_Up);
    EXPECT_GT(c.picCanvas->ToEarth(middle).y(), before.y());
    EXPECT_GT(c.picCanvas->ToEarth(middle).x(), before.x());
    const double wide = c.ToCanvas(0, 10).x() - c.ToCanvas(0, 0).x();
    QTest::keyClick(canvas, Qt::Key_Plus);
    EXPECT_GT(c.ToCanvas(0, 10).x() - c.ToCanvas(0, 0).x(), wide);
    QTest::keyClick(canvas, Qt::Key_Minus);
    EXPECT_NEAR(c.ToCanvas(0, 10).x() - c.ToCanvas(0, 0).x(), wide, 1e-6);
    QTest::keyClick(canvas, Qt::Key_0); // fitted again: the world centred
    EXPECT_NEAR(c.ToCanvas(0, 0).x(), canvas->width() / 2.0, 1);

    // A definition added by another program shows at once, and its picture follows the
    // definition as it changes; the placement is kept.
    WriteMap("d.inf", "40S,40E\r\n45S,50E\r\ntown.bmp\r\n");
    WaitFor([&] { return c.picCanvas->MapAt(c.ToCanvas(-42, 45)) == "d.inf"; });
    WriteMap("d.inf", "40S,40E\r\n45S,50E\r\ncounty.bmp\r\n");
    WaitFor([&] {
        return c.picCanvas->Decoding() == 0 &&
               canvas->grab().toImage().pixelColor(c.ToCanvas(-42.5, 45).toPoint()) ==
                   QColor(20, 160, 20);
    });
    c.Move(1200, 900, 7000, 5000);
    c.Unload();
    EXPECT_EQ(Platform::GetSetting("Varnet", "Settings", "CoverageLeft", ""), "1200");
    frmCoverage& again = frmCoverage::Instance();
    EXPECT_NEAR(again.Left(), 1200, 15);
    EXPECT_NEAR(again.Height(), 5000, 15);
}
