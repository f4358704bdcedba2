// The coverage window on a small library: where maps are drawn, with what, and how it follows
// the tree and the user.
#include "platform/Settings.h"
#include "support/AppTest.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

namespace {
void Click(QWidget* w, QPointF at) {
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}
} // namespace

class CoverageTest : public AppTest {
protected:
    frmCoverage& Open(frmMain& m) {
        m.mnuViewCoverage->trigger();
        frmCoverage& c = frmCoverage::Instance();
        c.resize(600, 400);
        Flush();
        c.ShowAll();
        WaitFor([&] { return c.picCanvas->Decoding() == 0; });
        Flush();
        return c;
    }
    frmMain& StartLibrary() {
        host.MakeHost();
        QImage red(40, 40, QImage::Format_RGB32), blue(60, 30, QImage::Format_RGB32);
        red.fill(QColor(200, 20, 20));
        blue.fill(QColor(20, 20, 200));
        red.save(QString::fromStdString(host.OnC("Stelmar/Maps/a.bmp")));
        blue.save(QString::fromStdString(host.OnC("Stelmar/Maps/b.bmp")));
        WriteMap("a.inf", "10N,10E\r\n0N,20E\r\na.bmp\r\n");
        WriteMap("b.inf", "5S,30W\r\n15S,20W\r\nb.bmp\r\n");
        WriteMap("c.inf", "30N,0E\r\n25N,5E\r\natlantis.jpg\r\n"); // no picture
        WriteMap("broken.inf", "no corners\r\n");                  // has no place
        return Start();
    }
};

TEST_F(CoverageTest, MapsWhereTheirCornersPutThemWithTheirPictures) {
    frmMain& m = StartLibrary();
    frmCoverage& c = Open(m);
    EXPECT_EQ(c.windowTitle(), "Map Coverage");
    QWidget* canvas = c.Canvas();
    // The bounding box (30N 30W .. 15S 20E, with a twentieth more each side) fills the canvas
    // one way and is centred the other.
    const double n = 30 + 2.5, s = -15 - 2.5, w = -30 - 2.5, e = 20 + 2.5;
    const double scale = std::min(canvas->width() / (e - w), canvas->height() / (n - s));
    const QPointF nw = c.ToCanvas(n, w), se = c.ToCanvas(s, e);
    EXPECT_NEAR(se.x() - nw.x(), (e - w) * scale, 1e-6);
    EXPECT_NEAR(se.y() - nw.y(), (n - s) * scale, 1e-6);
    EXPECT_NEAR(nw.x() + se.x(), canvas->width(), 1e-6);
    EXPECT_NEAR(nw.y() + se.y(), canvas->height(), 1e-6);

    // Each picture in the rectangle of its corners; the map without one a red outline that
    // says why.
    const QImage shot = canvas->grab().toImage();
    auto colourAt = [&](double lat, double lon) {
        return shot.pixelColor(c.ToCanvas(lat, lon).toPoint());
    };
    EXPECT_EQ(colourAt(5, 15), QColor(200, 20, 20));
    EXPECT_EQ(colourAt(-10, -25), QColor(20, 20, 200));
    EXPECT_EQ(colourAt(27.5, 2.5), colourAt(17, -13)); // nothing inside: the background
    const QPointF edge = c.ToCanvas(30, 2.5);
    EXPECT_GT(shot.pixelColor(edge.toPoint()).red(), 150);
    EXPECT_LT(shot.pixelColor(edge.toPoint()).green(), 60);
    QHelpEvent tip(QEvent::ToolTip, c.ToCanvas(27.5, 2.5).toPoint(),
                   canvas->mapToGlobal(c.ToCanvas(27.5, 2.5).toPoint()));
    QApplication::sendEvent(canvas, &tip);
    EXPECT_NE(QToolTip::text().indexOf("atlantis.jpg"), -1) << QToolTip::text().toStdString();

    // A click on a map selects its node, and so its details; a node chosen in the tree is
    // brought into view.
    Click(canvas, c.ToCanvas(-10, -25));
    ASSERT_NE(m.DirTree->SelectedItem(), nullptr);
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "b.inf");
    EXPECT_EQ(Details(m)[1], "Map Filename b.bmp");
    for (int i = 0; i < 8; ++i) c.picCanvas->ZoomBy(2, c.ToCanvas(-10, -25));
    EXPECT_FALSE(QRectF(canvas->rect()).contains(c.ToCanvas(5, 15)));
    Select(m, "a.inf");
    EXPECT_TRUE(QRectF(canvas->rect()).contains(c.ToCanvas(5, 15)));
}

TEST_F(CoverageTest, ZoomPlacementAndANewDefinition) {
    frmMain& m = StartLibrary();
    frmCoverage& c = Open(m);
    // The wheel zooms about the pointer.
    const QPointF at(150, 120);
    const QPointF before = c.picCanvas->ToEarth(at);
    QWheelEvent wheel(at, c.Canvas()->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c.Canvas(), &wheel);
    EXPECT_NEAR(c.picCanvas->ToEarth(at).x(), before.x(), 1e-9);
    EXPECT_NEAR(c.picCanvas->ToEarth(at).y(), before.y(), 1e-9);
    EXPECT_GT(c.ToCanvas(-15, -20).x() - c.ToCanvas(-5, -30).x(), 0);

    // A definition added by another program shows at once.
    WriteMap("d.inf", "40S,40E\r\n45S,50E\r\na.bmp\r\n");
    WaitFor([&] { return c.picCanvas->MapAt(c.ToCanvas(-42, 45)).has_value(); });
    c.ShowAll();
    EXPECT_TRUE(QRectF(c.Canvas()->rect()).contains(c.ToCanvas(-45, 50)));

    // The placement is kept for the next time.
    c.Move(1200, 900, 7000, 5000);
    c.Unload();
    const auto stored = [](const char* key) {
        return Platform::GetSetting("Varnet", "Settings", key, "");
    };
    EXPECT_EQ(stored("CoverageLeft"), "1200");
    EXPECT_EQ(stored("CoverageWidth"), "7000");
    frmCoverage& again = frmCoverage::Instance();
    EXPECT_NEAR(again.Left(), 1200, 15);
    EXPECT_NEAR(again.Height(), 5000, 15);
}
