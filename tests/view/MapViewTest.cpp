// The map view as a user drives it: zoom steps and Fit on maps of several shapes, the wheel
// about the pointer, and the position, distances and bearings read off a map with known corners.
#include "view/MapView.h"
#include "support/AppTest.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <array>
#include <cmath>

namespace {
// The picture pixel (full scale) shown at a point of the frame.
QPointF PixelAt(const frmMain& m, QPointF inFrame) {
    return (inFrame - QPointF(m.picInner->pos())) / m.picInner->Zoom();
}
// The whole picture inside the frame, touching it on one side, from its top-left corner.
bool Fitted(const frmMain& m) {
    const float w = m.picInner->Width(), h = m.picInner->Height();
    const float W = m.picOuter->InnerWidth(), H = m.picOuter->InnerHeight();
    return w <= W + 1 && h <= H + 1 && (std::abs(w - W) < 1 || std::abs(h - H) < 1) &&
           m.HScroll1->Value() == 0 && m.VScroll1->Value() == 0;
}
void Send(QWidget* to, QEvent::Type type, QPointF at, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButton button =
        type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton(int(buttons));
    QMouseEvent e(type, at, to->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(to, &e);
}
} // namespace

class MapViewTest : public AppTest {
protected:
    frmMain& StartWithMaps() {
        host.MakeHost();
        // 600 x 300 pixels over 60 x 30 minutes: a pixel is a tenth of a minute each way.
        WriteImage(host.OnC("Stelmar/Maps/wide.bmp"), 600, 300);
        WriteMap("wide.inf", "51.30.00N,001.00.00W\r\n51.00.00N,000.00.00E\r\nwide.bmp\r\n");
        WriteImage(host.OnC("Stelmar/Maps/tall.bmp"), 100, 900);
        WriteMap("tall.inf", "10N,10E\r\n0N,11E\r\ntall.bmp\r\n");
        WriteImage(host.OnC("Stelmar/Maps/tiny.bmp"), 4, 3);
        WriteMap("tiny.inf", "10N,10E\r\n9N,11E\r\ntiny.bmp\r\n");
        frmMain& m = Start();
        m.resize(900, 700);
        Flush();
        return m;
    }
    static QString Panel(const frmMain& m, const char* key) {
        return m.sbStatusBar->PanelText(StatusBar::PanelOf(key));
    }
};

TEST(MapViewLadder, StepsAndTexts) {
    // On the ladder, then off it (after Fit): the next rung each way, within the ends.
    struct Case {
        double from;
        int steps;
        double to;
    } cases[] = {
        {1, 1, std::sqrt(2.0)},     {1, -2, 0.5},    {16, 1, 16},   {1.0 / 32, -1, 1.0 / 32},
        {0.3, 1, std::sqrt(0.125)}, {0.3, -1, 0.25}, {100, -1, 16}, {1e-6, 1, 1.0 / 32},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(MapView::LadderStep(c.from, c.steps), c.to, 1e-12) << c.from << " " << c.steps;
    const std::pair<double, const char*> texts[] = {
        {1, "100%"},       {std::sqrt(2.0), "141%"}, {1.0 / 16, "6.25%"},
        {16, "1600%"},     {std::sqrt(0.5), "71%"},  {std::pow(2, -3.5), "8.84%"},
        {0.0999999, "10%"}};
    for (const auto& [factor, text] : texts) EXPECT_EQ(MapView::ZoomText(factor), text);
}

TEST_F(MapViewTest, ZoomFitAndTheScrollRangeRule) {
    frmMain& m = StartWithMaps();
    Select(m, "wide.inf");
    EXPECT_EQ(Panel(m, "Zoom"), "100%");
    struct Step {
        QAction* command;
        double factor;
    } steps[] = {{m.mnuViewZoomOut, std::sqrt(0.5)},
                 {m.mnuViewZoomOut, 0.5},
                 {m.mnuViewActualSize, 1},
                 {m.mnuViewZoomIn, std::sqrt(2.0)},
                 {m.mnuViewZoomIn, 2}};
    for (const auto& s : steps) {
        s.command->trigger();
        SCOPED_TRACE(s.factor);
        EXPECT_NEAR(m.MapViewer->Zoom(), s.factor, 1e-12);
        // picInner is the picture's size in twips times the factor; the rule runs on that.
        EXPECT_FLOAT_EQ(m.picInner->Width(), float(600 * 15 * s.factor));
        EXPECT_FLOAT_EQ(m.picInner->Height(), float(300 * 15 * s.factor));
        EXPECT_EQ(m.HScroll1->Max(), std::lround(m.picInner->Width() - m.picOuter->Width()));
        EXPECT_EQ(m.VScroll1->LargeChange(), std::lround(m.picInner->Height() / 3));
        EXPECT_EQ(Twips::Left(m.picInner), -float(m.HScroll1->Value()));
        EXPECT_EQ(Panel(m, "Zoom"), MapView::ZoomText(s.factor));
    }

    // Fit: the whole picture inside the frame, touching it on one side; it follows resizes and
    // new maps until another zoom is chosen.
    m.mnuViewFitMap->trigger();
    EXPECT_TRUE(Fitted(m));
    for (const char* map : {"tall.inf", "tiny.inf", "wide.inf"}) {
        Select(m, map);
        EXPECT_TRUE(Fitted(m)) << map;
    }
    EXPECT_GT(m.MapViewer->Zoom(), 1); // a small picture is fitted up
    m.resize(700, 500);
    Flush();
    EXPECT_TRUE(Fitted(m)) << m.picInner->Width() << " " << m.picInner->Height() << " in "
                           << m.picOuter->InnerWidth() << " " << m.picOuter->InnerHeight();
    m.mnuViewActualSize->trigger();
    Select(m, "tiny.inf");
    EXPECT_EQ(m.MapViewer->Zoom(), 1);
    EXPECT_EQ(m.picInner->Width(), 4 * 15);
}

TEST_F(MapViewTest, FitEachMapFitsEveryMapShownWhateverTheZoomBefore) {
    frmMain* m = &StartWithMaps();
    const QList<QAction*> view = m->mnuView->menu()->actions();
    EXPECT_EQ(view.indexOf(m->mnuViewFitEachMap), view.indexOf(m->mnuViewActualSize) + 1);
    // Off at first: the zoom chosen on one map stays for the next.
    EXPECT_FALSE(m->mnuViewFitEachMap->isChecked());
    Select(*m, "wide.inf");
    m->mnuViewZoomIn->trigger();
    Select(*m, "tall.inf");
    EXPECT_NEAR(m->MapViewer->Zoom(), std::sqrt(2.0), 1e-12);
    EXPECT_FALSE(Fitted(*m));

    // On: the map shown is fitted, and every map after it, however the one before was zoomed.
    m->mnuViewFitEachMap->trigger();
    EXPECT_TRUE(Fitted(*m));
    for (const char* map : {"tiny.inf", "wide.inf"}) {
        m->mnuViewZoomIn->trigger(); // zooming leaves it on
        EXPECT_FALSE(Fitted(*m));
        Select(*m, map);
        EXPECT_TRUE(Fitted(*m)) << map;
    }

    // Kept for the next start; off again, the zoom chosen stays, as before.
    m->Unload();
    Flush();
    m = &Start();
    EXPECT_TRUE(m->mnuViewFitEachMap->isChecked());
    m->mnuViewActualSize->trigger();
    Select(*m, "tall.inf");
    EXPECT_TRUE(Fitted(*m));
    m->mnuViewFitEachMap->trigger();
    m->mnuViewActualSize->trigger();
    Select(*m, "wide.inf");
    EXPECT_EQ(m->MapViewer->Zoom(), 1);
    m->Unload();
    Flush();
    EXPECT_FALSE(Start().mnuViewFitEachMap->isChecked());
}

TEST_F(MapViewTest, TheWheelZoomsAboutThePointerAndScrolls) {
    frmMain& m = StartWithMaps();
    Select(m, "wide.inf");
    m.mnuViewZoomIn->trigger();
    m.mnuViewZoomIn->trigger(); // 200%: the picture is larger than the frame
    const QPointF at(120, 90);
    auto turn = [&](QPoint by, Qt::KeyboardModifiers modifiers) {
        QWheelEvent wheel(at, m.picOuter->mapToGlobal(at), QPoint(), by, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(m.picOuter, &wheel);
    };
    // The plain wheel and Ctrl+wheel zoom a step a notch; half notches (a touchpad) add up.
    const struct {
        QPoint by;
        Qt::KeyboardModifiers modifiers;
        double zoom;
    } turns[] = {{{0, 120}, Qt::NoModifier, 2 * std::sqrt(2.0)},
                 {{0, 120}, Qt::ControlModifier, 4},
                 {{0, -60}, Qt::NoModifier, 4},
                 {{0, -60}, Qt::NoModifier, 2 * std::sqrt(2.0)},
                 {{0, -120}, Qt::ControlModifier, 2}};
    for (const auto& t : turns) {
        const QPointF before = PixelAt(m, at);
        turn(t.by, t.modifiers);
        const QPointF after = PixelAt(m, at);
        SCOPED_TRACE(t.by.y());
        EXPECT_NEAR(m.MapViewer->Zoom(), t.zoom, 1e-12);
        EXPECT_LE(std::abs(after.x() - before.x()) * m.picInner->Zoom(), 1);
        EXPECT_LE(std::abs(after.y() - before.y()) * m.picInner->Zoom(), 1);
    }
    // Shift+wheel and a sideways wheel scroll across; the bars' own wheel scrolls them.
    m.HScroll1->setValue(0);
    m.VScroll1->setValue(0);
    turn({0, -120}, Qt::ShiftModifier);
    const int h = m.HScroll1->Value();
    EXPECT_GT(h, 0);
    turn({-120, 0}, Qt::NoModifier);
    EXPECT_GT(m.HScroll1->Value(), h);
    EXPECT_EQ(Twips::Left(m.picInner), -float(m.HScroll1->Value()));
    EXPECT_EQ(m.VScroll1->Value(), 0);
    QWheelEvent down(QPointF(2, 2), m.VScroll1->mapToGlobal(QPoint(2, 2)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m.VScroll1, &down);
    EXPECT_GT(m.VScroll1->Value(), 0);
    EXPECT_NEAR(m.MapViewer->Zoom(), 2, 1e-12);

    // A drag pans the other way.
    m.HScroll1->setValue(0);
    const int hv = m.HScroll1->Value();
    Send(m.picInner, QEvent::MouseButtonPress, QPointF(200, 100), Qt::LeftButton);
    EXPECT_EQ(m.picInner->cursor().shape(), Qt::ClosedHandCursor);
    Send(m.picInner, QEvent::MouseMove, QPointF(180, 100), Qt::LeftButton);
    Send(m.picInner, QEvent::MouseButtonRelease, QPointF(180, 100), Qt::LeftButton);
    EXPECT_EQ(m.HScroll1->Value(), hv + 20 * 15);
    EXPECT_EQ(m.picInner->cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(MapViewTest, ThePositionUnderThePointerAndADistance) {
    frmMain& m = StartWithMaps();
    Select(m, "wide.inf");
    m.mnuViewZoomIn->trigger();
    m.mnuViewZoomIn->trigger(); // two box pixels for each picture pixel
    m.HScroll1->setValue(0);
    m.VScroll1->setValue(0);
    auto at = [&](double x, double y) { // the centre of picture pixel (x, y)
        Send(m.picInner, QEvent::MouseMove, QPointF(2 * x + 1, 2 * y + 1), Qt::NoButton);
        return Panel(m, "Position").toStdString();
    };
    // Pixel (x, y) covers a tenth of a minute from -60 + x/10 and 3090 - y/10 minutes; the grid
    // references are PROJ's (cs2cs, OSGB36 on the National Grid) for the pixels' centres.
    EXPECT_EQ(at(0, 0), "51.29.95N 000.59.95W  SU 694 783");
    EXPECT_EQ(at(599, 0), "51.29.95N 000.00.05W  TQ 387 797");
    EXPECT_EQ(at(0, 299), "51.00.05N 000.59.95W  SU 702 229");
    EXPECT_EQ(at(599, 299), "51.00.05N 000.00.05W  TQ 402 243");
    EXPECT_EQ(at(300, 150), "51.14.95N 000.29.95W  TQ 047 511");
    // Off the picture, and with no map: empty.
    EXPECT_EQ(at(700, 10), "");
    Send(m.picInner, QEvent::MouseMove, QPointF(11, 11), Qt::NoButton);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m.picInner, &leave);
    EXPECT_EQ(Panel(m, "Position"), "");

    // Shift and drag: a line whose length follows the position; it stays after the release.
    Send(m.picInner, QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton, Qt::ShiftModifier);
    Send(m.picInner, QEvent::MouseMove, QPointF(1199, 1), Qt::LeftButton, Qt::ShiftModifier);
    Send(m.picInner, QEvent::MouseButtonRelease, QPointF(1199, 1), Qt::LeftButton);
    // 59.9 minutes of longitude at 51.4992° N on the program's sphere (6367 km, geocentric
    // latitudes): 69.35 km by the spherical law of cosines.
    // Due east along the parallel, a great circle sets off a little north of east.
    const QString line = "69.4 km  bearing 90" + QString(QChar(0x00B0));
    EXPECT_EQ(Panel(m, "Position"), "51.29.95N 000.00.05W  TQ 387 797  " + line);
    // The line's figures stay when the pointer leaves, until the line goes.
    QApplication::sendEvent(m.picInner, &leave);
    EXPECT_EQ(Panel(m, "Position"), line);
    Send(m.picInner, QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton);
    Send(m.picInner, QEvent::MouseButtonRelease, QPointF(1, 1), Qt::LeftButton);
    EXPECT_EQ(Panel(m, "Position"), "51.29.95N 000.59.95W  SU 694 783");
    Send(m.picInner, QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton, Qt::ShiftModifier);
    Send(m.picInner, QEvent::MouseMove, QPointF(1, 599), Qt::LeftButton, Qt::ShiftModifier);
    Send(m.picInner, QEvent::MouseButtonRelease, QPointF(1, 599), Qt::LeftButton);
    QApplication::sendEvent(m.picInner, &leave);
    EXPECT_TRUE(Panel(m, "Position").endsWith("bearing 180" + QString(QChar(0x00B0))));
    Select(m, "tall.inf"); // another map: the line goes
    EXPECT_EQ(Panel(m, "Position"), "");
}

// View > Grid: the Position panel writes the place under the pointer in the grid chosen, and
// Copy Position copies what it writes. The place is the centre of wide.inf's pixel (300, 150),
// 51.14.95N 000.29.95W on OSGB 1936; the grid texts are cs2cs's (EPSG:4277 to EPSG:27700 and
// EPSG:32630) and GeoConvert's, truncated to the metre.
TEST_F(MapViewTest, ThePositionPanelWritesThePlaceInTheGridChosen) {
    frmMain* m = &StartWithMaps();
    const QList<QAction*> view = m->mnuView->menu()->actions();
    EXPECT_EQ(view.mid(view.indexOf(m->mnuViewCoverage) - 1),
              (QList<QAction*>{m->mnuViewBar2, m->mnuViewCoverage, m->mnuViewBar3, m->mnuViewGrid,
                               m->mnuViewGridLines}));
    EXPECT_TRUE(m->mnuViewBar3->isSeparator());
    EXPECT_TRUE(m->mnuViewGridLatLon->isChecked());
    auto hover = [&] {
        Select(*m, "wide.inf");
        Send(m->picInner, QEvent::MouseMove, QPointF(300.5, 150.5), Qt::NoButton);
        return Panel(*m, "Position").toStdString();
    };
    hover();
    const struct {
        QAction* item;
        const char* panel;
    } grids[] = {
        {m->mnuViewGridLatLon, "51.14.95N 000.29.95W  TQ 047 511"},
        {m->mnuViewGridBng, "TQ 04735 51126"},
        {m->mnuViewGridUtm, "30U 674418 5680560"},
        {m->mnuViewGridMgrs, "30U XB 74418 80560"},
        {m->mnuViewGridIrish, "51.14.95N 000.29.95W  (outside the Irish Grid)"},
    };
    for (const auto& g : grids) {
        g.item->trigger();
        EXPECT_TRUE(g.item->isChecked());
        EXPECT_EQ(Panel(*m, "Position").toStdString(), g.panel); // at once, where the pointer is
        EXPECT_EQ(hover(), g.panel);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(m, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), g.panel);
    }
    EXPECT_FALSE(m->mnuViewGridMgrs->isChecked());

    // Kept for the next start.
    m->Unload();
    Flush();
    m = &Start();
    EXPECT_TRUE(m->mnuViewGridIrish->isChecked());
    EXPECT_EQ(hover(), grids[4].panel);
}

// View > Grid Lines: the grid's true lines over a placed map (meridians and parallels straight
// across a map in latitude and longitude, UTM's tilted on it), over no map without corners, and
// the view exactly as it was once they are off again.
TEST_F(MapViewTest, GridLinesAreTheGridsTrueLinesOverPlacedMapsOnly) {
    frmMain* m = &StartWithMaps();
    WriteMap("lost.inf", "north\r\nsouth\r\nwide.bmp\r\n");
    m->mnuViewRefresh->trigger();
    auto shown = [&](const char* map) {
        Select(*m, map);
        WaitFor([&] { return !m->MapViewer->Decoding(); });
        Flush();
        return m->picOuter->grab().toImage();
    };
    // Columns and rows of the picture (600 x 300 at 100%) wholly changed from `before`, and
    // whether any pixel is.
    auto lines = [&](const QImage& before, const QImage& after) {
        const QPoint at = m->picInner->mapTo(m->picOuter, QPoint(0, 0));
        int columns = 0, rows = 0, changed = 0;
        for (int x = 0; x < 600; ++x) {
            int n = 0;
            for (int y = 0; y < 300; ++y)
                n += before.pixel(at + QPoint(x, y)) != after.pixel(at + QPoint(x, y));
            columns += n >= 290;
            changed += n;
        }
        for (int y = 0; y < 300; ++y) {
            int n = 0;
            for (int x = 0; x < 600; ++x)
                n += before.pixel(at + QPoint(x, y)) != after.pixel(at + QPoint(x, y));
            rows += n >= 580;
        }
        return std::array{columns, rows, changed};
    };
    EXPECT_FALSE(m->mnuViewGridLines->isChecked());
    const QImage lost = shown("lost.inf"), plain = shown("wide.inf");

    m->mnuViewGridLines->trigger();
    EXPECT_TRUE(m->mnuViewGridLines->isChecked());
    const auto latlon = lines(plain, shown("wide.inf"));
    EXPECT_GE(latlon[0], 2);
    EXPECT_GE(latlon[1], 2);
    m->mnuViewGridUtm->trigger();
    const auto utm = lines(plain, shown("wide.inf"));
    EXPECT_EQ(utm[0], 0);
    EXPECT_GT(utm[2], 600);
    // The same lines in the window's own kind of image as in any other (drawn apart, in the
    // window's, for speed).
    QImage painted(m->picOuter->size(), QImage::Format_RGB32),
        other(painted.size(), QImage::Format_ARGB32);
    m->picOuter->render(&painted);
    m->picOuter->render(&other);
    EXPECT_EQ(painted, other.convertToFormat(QImage::Format_RGB32));
    // After a zoom, what is kept of the lines is of the new zoom: as if made afresh.
    m->mnuViewZoomIn->trigger();
    const QImage zoomed = m->picOuter->grab().toImage();
    m->mnuViewGridLines->trigger();
    m->mnuViewGridLines->trigger();
    EXPECT_EQ(m->picOuter->grab().toImage(), zoomed);
    m->mnuViewZoomOut->trigger();
    EXPECT_EQ(shown("lost.inf"), lost); // the reason it shows no picture, and no lines

    // Kept for the next start; off, the view is as it was.
    m->Unload();
    Flush();
    m = &Start();
    m->resize(900, 700);
    Flush();
    EXPECT_TRUE(m->mnuViewGridLines->isChecked());
    EXPECT_NE(shown("wide.inf"), plain);
    m->mnuViewGridLines->trigger();
    EXPECT_EQ(shown("wide.inf"), plain);
}
