// Finding the maps that show a place, in the window: typed as a grid reference or as decimal
// degrees, and from the map picture's context menu.
#include "support/AppTest.h"
#include "ui/frmFindMaps.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QTest>

namespace {
std::vector<std::string> Rows(const frmFindMaps& f) {
    std::vector<std::string> rows;
    for (int i = 0; i < f.lstMaps->topLevelItemCount(); ++i)
        rows.push_back(f.lstMaps->topLevelItem(i)->text(0).toStdString());
    return rows;
}
} // namespace

using FindMapsTest = AppTest;

// PROJ (EPSG:27700 to EPSG:4277) puts TQ 290 800 at 51.503709 N 0.141149 W: 36 m east of
// westend's edge (000.08.50W) and 33 m west of whitehall's (000.08.44W). 51.5072 N 0.1276 W is
// E 529930 N 180412, in TQ 299 804.
TEST_F(FindMapsTest, TypedPlacesListTheMapsThatShowThemAndAChosenOneIsShownThere) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/london.bmp"), 400, 300);
    WriteImage(host.OnC("Stelmar/Maps/world.bmp"), 360, 180);
    WriteMap("world.inf", "90N,180W\r\n90S,180E\r\nworld.bmp\r\n");
    WriteMap("london.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E\r\nlondon.bmp\r\n");
    WriteMap("westend.inf", "51.31.00N,000.10.00W\r\n51.30.00N,000.08.50W\r\nlondon.bmp\r\n");
    WriteMap("whitehall.inf", "51.31.00N,000.10.00W\r\n51.30.00N,000.08.44W\r\nlondon.bmp\r\n");
    frmMain& m = Start();
    m.show();

    QTest::keyClick(&m, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(frmFindMaps::Loaded());
    frmFindMaps& f = frmFindMaps::Instance();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowHandle()->transientParent(), m.windowHandle()); // kept above the main one
    QTest::keyClicks(f.txtPlace, "TQ 290 800");
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"whitehall.inf", "london.inf", "world.inf"}));
    EXPECT_TRUE(f.lblReading->text().contains("TQ 290 800")) << f.lblReading->text().toStdString();

    f.txtPlace->selectAll();
    QTest::keyClicks(f.txtPlace, "51.5072, -0.1276");
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"london.inf", "world.inf"}));
    EXPECT_TRUE(f.lblReading->text().contains("TQ 299 804")) << f.lblReading->text().toStdString();
    // A degree of longitude at 51.5 N is 69.4 km; London's picture gives 50 minutes of it 400
    // pixels: 145 m a pixel.
    EXPECT_NEAR(f.lstMaps->topLevelItem(0)->text(1).section(' ', 0, 0).toDouble(), 145, 1.5);

    // A click on a row selects the map in the tree; its picture is centred on the place.
    QTreeWidgetItem* london = f.lstMaps->topLevelItem(0);
    QTest::mouseClick(f.lstMaps->viewport(), Qt::LeftButton, {},
                      f.lstMaps->visualItemRect(london).center());
    ASSERT_NE(m.DirTree->SelectedItem(), nullptr);
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "london.inf");
    EXPECT_EQ(Details(m)[1], "Map Filename london.bmp");
    const QPoint middle = m.picInner->mapFrom(m.picOuter, m.picOuter->rect().center());
    const auto centre = m.MapViewer->PlaceAt(middle);
    ASSERT_TRUE(centre.has_value());
    EXPECT_NEAR(centre->first, 51.5072 * 60, 20.0 / 300); // within a pixel
    EXPECT_NEAR(centre->second, -0.1276 * 60, 50.0 / 400);

    // What is not a place says why, shows the forms that are, keeps the text and lists nothing.
    f.txtPlace->setText("51.5N");
    EXPECT_TRUE(Rows(f).empty());
    EXPECT_TRUE(f.lblReading->text().contains("30U XC")) << f.lblReading->text().toStdString();
    EXPECT_EQ(f.txtPlace->text(), "51.5N");

    // The picture's context menu asks about the place under the pointer, here the picture's
    // top-left pixel: in London and the world.
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(0, 0),
                           m.picInner->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(m.picInner, &menu);
    EXPECT_TRUE(m.mnuPicture->isVisible());
    ASSERT_TRUE(m.mnuPictureMapsCovering->isEnabled());
    m.mnuPicture->hide();
    m.mnuPictureMapsCovering->trigger();
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"london.inf", "world.inf"}));
    EXPECT_TRUE(f.lblReading->text().startsWith("Latitude and longitude")) << "context menu";

    // From the keyboard, the menu asks about the middle of the frame: the place found above.
    m.picOuter->setFocus();
    QTest::keyClick(m.picOuter, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(m.mnuPicture->isVisible());
    ASSERT_TRUE(m.PicturePlace.has_value());
    EXPECT_NEAR(m.PicturePlace->first, 51.5072 * 60, 20.0 / 300);
    m.mnuPicture->hide();

    // The list follows the library.
    WriteMap("city.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.10.00E\r\nlondon.bmp\r\n");
    WaitFor([&] { return Rows(f).size() == 3; });
    EXPECT_EQ(Rows(f)[0], "city.inf");
}

TEST_F(FindMapsTest, AFoundPlaceIsMarkedOnItsMapAndTheWindowKeepsWhatItShowed) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/london.bmp"), 400, 300);
    WriteMap("london.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E\r\nlondon.bmp\r\n");
    WriteMap("city.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.10.00E\r\nlondon.bmp\r\n");
    frmMain& m = Start();
    m.show();
    auto shown = [&] { return m.picOuter->grab().toImage(); };
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers) {
        QMouseEvent e(type, at, m.picInner->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::LeftButton,
                      modifiers);
        QApplication::sendEvent(m.picInner, &e);
    };

    // The distance line's colour, from a line drawn along the map's top; a click clears it.
    Select(m, "london.inf");
    mouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::ShiftModifier);
    mouse(QEvent::MouseMove, QPoint(200, 10), Qt::ShiftModifier);
    mouse(QEvent::MouseButtonRelease, QPoint(200, 10), Qt::ShiftModifier);
    const QColor line = shown().pixelColor(m.picInner->mapTo(m.picOuter, QPoint(100, 10)));
    mouse(QEvent::MouseButtonPress, QPoint(50, 50), {});
    mouse(QEvent::MouseButtonRelease, QPoint(50, 50), {});
    auto marked = [&] { // pixels of the line's colour shown, and whether the centre is one
        const QImage image = shown();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == line;
        return std::pair(count, image.pixelColor(m.picOuter->rect().center()) == line);
    };
    EXPECT_EQ(marked().first, 0);

    // A map chosen in Find Maps shows the place marked at the frame's centre, whatever the
    // zoom, until another map is shown.
    m.mnuToolsFindMaps->trigger();
    frmFindMaps& f = frmFindMaps::Instance();
    f.txtPlace->setText("51.5072, -0.1276");
    const std::vector<std::string> rows = Rows(f);
    ASSERT_EQ(rows, (std::vector<std::string>{"city.inf", "london.inf"}));
    f.lstMaps->setCurrentItem(f.lstMaps->topLevelItem(1));
    EXPECT_TRUE(marked().second);
    m.mnuViewZoomIn->trigger();
    EXPECT_TRUE(marked().second);
    Select(m, "city.inf");
    EXPECT_EQ(marked().first, 0);
    f.lstMaps->setCurrentItem(f.lstMaps->topLevelItem(0));
    EXPECT_TRUE(marked().second);

    // Closed and opened again, it shows the place, the list and the map chosen as they were.
    f.Unload();
    Flush();
    m.mnuToolsFindMaps->trigger();
    frmFindMaps& again = frmFindMaps::Instance();
    EXPECT_EQ(again.txtPlace->text(), "51.5072, -0.1276");
    EXPECT_EQ(Rows(again), rows);
    EXPECT_EQ(again.ChosenMap(), "city.inf");
    EXPECT_TRUE(messages.empty());
}

// What the Position panel writes, in each grid, Find Maps reads back to the place it names. The
// pointer is on the centre of london's pixel (100, 200), 51.26.63N 000.17.44W to the hundredth of
// a minute, 15 m and more from the next hundredth: a grid text cut to the metre reads back there.
TEST_F(FindMapsTest, ThePositionPanelsTextIsReadBackToItsPlace) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/london.bmp"), 400, 300);
    WriteMap("london.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E\r\nlondon.bmp\r\n");
    WriteMap("city.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.10.00E\r\nlondon.bmp\r\n");
    WriteMap("east.inf", "51.40.00N,000.10.00E\r\n51.20.00N,000.20.00E\r\nlondon.bmp\r\n");
    frmMain& m = Start();
    m.show();
    Select(m, "london.inf");
    const struct {
        QAction* grid;
        const char* form;
    } grids[] = {{m.mnuViewGridLatLon, "Latitude and longitude: "},
                 {m.mnuViewGridBng, "National Grid reference "},
                 {m.mnuViewGridUtm, "UTM: "},
                 {m.mnuViewGridMgrs, "MGRS: "}};
    for (const auto& g : grids) {
        g.grid->trigger();
        QMouseEvent move(QEvent::MouseMove, QPointF(100.5, 200.5),
                         m.picInner->mapToGlobal(QPointF(100.5, 200.5)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(m.picInner, &move);
        const QString panel = m.sbStatusBar->PanelText(4);
        m.FindMaps(panel);
        const frmFindMaps& f = frmFindMaps::Instance();
        SCOPED_TRACE(panel.toStdString());
        EXPECT_EQ(Rows(f), (std::vector<std::string>{"city.inf", "london.inf"}));
        EXPECT_TRUE(f.lblReading->text().startsWith(g.form)) << f.lblReading->text().toStdString();
        EXPECT_TRUE(f.lblReading->text().contains("51.26.63N 000.17.44W"))
            << f.lblReading->text().toStdString();
    }
}
