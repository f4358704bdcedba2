#pragma once
// The coverage canvas: every map of the library drawn where its corners put it, on a plate
// carrée (longitude across, latitude up, in degrees) with a graticule whose spacing follows the
// zoom. Each map shows its picture (a thumbnail decoded off the user-interface thread, sharper
// ones for the maps on screen when zoomed in) inside a thin outline with its name; a map without
// a picture is a red outline whose tooltip says why.
//
// No map hides another: the larger a map's ground area, the earlier it is drawn, so smaller maps
// lie above the larger ones around them; the selected map keeps its place and is outlined last,
// over all. A click takes the smallest map under the pointer and a click again at the same place
// the next larger one, round and round; the tooltip lists every map under the pointer, smallest
// first. The canvas stays fitted to the library, at whatever size it is given, until the view is
// moved. Colours follow the palette; names are written with a halo of the background's colour.
//
// The wheel zooms about the pointer, a drag pans. Keys: the arrows pan, + and - zoom, 0 fits,
// Page Down and Page Up step through the maps in view, smallest first, reporting each as a
// click does (MapClicked). Ctrl with an arrow moves the focus from map to map in reading order
// (by the top edge, north first, then by the left edge, west first: Ctrl+Right and Ctrl+Down to
// the next, Ctrl+Left and Ctrl+Up to the one before), bringing the map into view; Enter
// reports the focused map as a click does. While the canvas has the focus, the focused map is
// outlined; it follows the highlighted map, and assistive technology is told its name.
//
// The maps are the library model's entries, followed as they change; where each lies comes from
// its corners, and which maps lie under a point, and their order, from the library's place index.

#include "library/MapLibrary.h"
#include "library/PlaceIndex.h"
#include "picture/PictureLoader.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <vector>

class CoverageCanvas : public QWidget {
    Q_OBJECT
public:
    explicit CoverageCanvas(QWidget* parent = nullptr);

    // Shows a library's maps (those whose corners were read) from now on, following its changes
    // map by map; `places`, the index of the same library's places, orders them and says which
    // lie under a point. The index must have been made before this call (it then takes each
    // change before the canvas hears of it); both must outlive the canvas. The view stays where
    // it is (fitted anew while it is fitted); pictures are decoded again only for maps whose
    // picture or corners changed.
    void Follow(const Library::MapLibrary& library, const Library::PlaceIndex& places);
    // Highlights a map by the name the tree shows (outlined over all) and brings it into view
    // when none of it is on the canvas (a fitted canvas shows every map already); "" highlights
    // none. A highlighted map that leaves the library is highlighted no longer.
    void SetSelected(const QString& key);
    QString Selected() const { return selected_; }
    // The map the keyboard is on ("" for none).
    QString Focused() const { return focused_; }

    // Canvas pixels of a point (degrees), and the point (latitude, longitude) at canvas pixels.
    QPointF ToCanvas(double latitude, double longitude) const;
    QPointF ToEarth(QPointF canvasPoint) const;
    // Fits the box that bounds all maps, with a small margin (the world when there are none),
    // and keeps it fitted, through every resize, until the view is moved.
    void ShowAll();
    bool Fitted() const { return fitting_; }
    // Zooms by `factor` keeping the earth under `about` (canvas pixels) still.
    void ZoomBy(double factor, QPointF about);
    // The maps under a canvas point, as the place index finds them: the smallest ground area
    // first (by name when equal); the first is the one a click takes.
    std::vector<QString> MapsAt(QPointF canvasPoint) const;
    std::optional<QString> MapAt(QPointF canvasPoint) const;
    // The number of pictures still being decoded, and the bytes the decoded ones hold.
    int Decoding() const { return thumbnails_.Pending(); }
    std::int64_t PictureBytes() const { return thumbnails_.Held(); }
    // The pictures live within the picture component's cache (Picture::CacheLimit()), beside the
    // map view's tiles: the first pictures of all maps take up to half of it, sharper ones of
    // the maps on screen what the cache has left. The longer side of each map's first picture,
    // for a library of `maps` maps (16 to 512).
    static int FirstLongest(std::size_t maps);

signals:
    void MapClicked(const QString& key);
    // The pointer's position, as the map view writes it; "" off the canvas.
    void PositionChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // What the canvas holds of a library entry (one each, in the library's order).
    // What drawing reads of every map comes first.
    struct Item {
        // Where the entry lies: whether its corners were read, and the corners (top-left
        // latitude and longitude, bottom-right latitude and longitude, minutes of arc), kept
        // with the pictures they were asked for.
        bool placed = false;
        std::array<float, 4> corners{};
        std::string picture; // a Windows path, "" when the definition names none
        QString error;       // why its picture cannot be shown
        QImage image;
        int longest = 0;   // the size its picture was asked for
        int requested = 0; // a sharper one on its way
        QString key;       // the entry's name, as the tree shows it
    };
    // The placed entries, smallest ground area first (none while no library is followed).
    const std::vector<int>& Order() const;
    const Library::Entry& EntryOf(int index) const {
        return library_->Entries()[std::size_t(index)];
    }
    QRectF RectOf(int index) const;
    int IndexOf(const QString& key) const;
    std::vector<int> IndicesAt(QPointF canvasPoint) const;
    // The item of an entry: `old`'s pictures when its picture and place are the same, otherwise
    // a first picture asked for.
    Item ItemFor(int index, Item* old);
    void Reset();
    void Added(int index);
    void Changed(int index);
    void Removed(int index, const std::string& name);
    void Relaid(); // maps came, changed or went: fitted again, or painted, once they have
    void Arrived(const QString& request, const QImage& image, const QString& error, int longest);
    void SharpenVisible();
    void KeepWithinBudget(std::int64_t target);
    void Moved();      // the view was moved by the user: no longer fitted
    void Step(int by); // Page Down / Page Up
    // Ctrl+arrows: the focus `by` maps on in reading order, staying at either end.
    void MoveFocus(int by);
    void Focus(const QString& key);
    // Centres a map that lies wholly off the canvas, fitting it when it is larger.
    void BringIntoView(int index);
    void DrawGraticule(QPainter& p);
    void DrawMaps(QPainter& p, const QRectF& view);
    void DrawName(QPainter& p, const QFontMetrics& metrics, const QString& key, const QRectF& r,
                  const QColor& colour) const;

    const Library::MapLibrary* library_ = nullptr;
    const Library::PlaceIndex* places_ = nullptr;
    std::vector<Item> items_;
    QString selected_;
    QString focused_;
    Picture::Thumbnails thumbnails_;
    QTimer settled_;  // the view has stopped moving: sharper pictures for what is on screen
    QTimer arrivals_; // pictures that arrive close together are painted together
    QTimer relaid_;   // many maps changed at once are laid out once
    double centreLat_ = 0, centreLon_ = 0, perDegree_ = 1;
    bool fitting_ = true;
    std::optional<QPointF> pressed_, dragFrom_;
    double dragLat_ = 0, dragLon_ = 0;
    std::optional<QPointF> lastClick_; // where the last click was (latitude, longitude)
    int paintMs_ = 0;                  // how long the last paint took
};
