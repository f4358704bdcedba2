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
// click does (MapClicked).

#include "picture/PictureLoader.h"

#include <QHash>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

struct CoverageMap {
    QString key;                     // the library node's name
    double north, west, south, east; // degrees
    std::string picture;             // a Windows path, "" when the definition names none
    QString problem;                 // why there is no picture to show, "" when there is one
};

class CoverageCanvas : public QWidget {
    Q_OBJECT
public:
    explicit CoverageCanvas(QWidget* parent = nullptr);

    // The maps, in any order. The view stays where it is (fitted anew while it is fitted);
    // pictures are decoded again only for maps whose picture or corners changed.
    void SetMaps(std::vector<CoverageMap> maps);
    // Highlights a map (outlined over all) and brings it into view when none of it is on the
    // canvas (a fitted canvas shows every map already); "" highlights none.
    void SetSelected(const QString& key);
    QString Selected() const { return selected_; }

    // Canvas pixels of a point (degrees), and the point (latitude, longitude) at canvas pixels.
    QPointF ToCanvas(double latitude, double longitude) const;
    QPointF ToEarth(QPointF canvasPoint) const;
    // Fits the box that bounds all maps, with a small margin (the world when there are none),
    // and keeps it fitted, through every resize, until the view is moved.
    void ShowAll();
    bool Fitted() const { return fitting_; }
    // Zooms by `factor` keeping the earth under `about` (canvas pixels) still.
    void ZoomBy(double factor, QPointF about);
    // The maps under a canvas point, smallest ground area first (by name when equal); the first
    // is the one a click takes.
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
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Item {
        CoverageMap map;
        double area = 0; // km², the drawing order
        QImage image;
        int longest = 0;   // the size its picture was asked for
        int requested = 0; // a sharper one on its way
        QString error;
    };
    QRectF RectOf(const CoverageMap& map) const;
    const Item* Find(const QString& key) const;
    void Arrived(const QString& key, const QImage& image, const QString& error, int longest);
    void SharpenVisible();
    void KeepWithinBudget(std::int64_t target);
    void Moved();      // the view was moved by the user: no longer fitted
    void Step(int by); // Page Down / Page Up

    std::vector<Item> items_; // smallest ground area first, equal areas by name
    QHash<QString, std::size_t> byKey_;
    QString selected_;
    Picture::Thumbnails thumbnails_;
    QTimer settled_;  // the view has stopped moving: sharper pictures for what is on screen
    QTimer arrivals_; // pictures that arrive close together are painted together
    double centreLat_ = 0, centreLon_ = 0, perDegree_ = 1;
    bool fitting_ = true;
    std::optional<QPointF> pressed_, dragFrom_;
    double dragLat_ = 0, dragLon_ = 0;
    std::optional<QPointF> lastClick_; // where the last click was (latitude, longitude)
    int paintMs_ = 0;                  // how long the last paint took
};
