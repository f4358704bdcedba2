#pragma once
// The coverage canvas: every map of the library drawn where its corners put it, on a plate
// carrée (longitude across, latitude up, in degrees) with a graticule whose spacing follows the
// zoom. Each map shows its picture (a thumbnail decoded off the user-interface thread, sharper
// ones for the maps on screen when zoomed in) inside a thin outline with its name; a map without
// a picture is a red outline whose tooltip says why. The selected map is drawn last, bold.
//
// The wheel zooms about the pointer, a drag pans, a click on a map reports it (MapClicked).

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

    // The maps in the library's order. The view stays where it is; pictures are decoded again
    // only for maps whose picture or corners changed.
    void SetMaps(std::vector<CoverageMap> maps);
    // Highlights a map (drawn last, bold) and brings it into view when it is off-screen; ""
    // highlights none.
    void SetSelected(const QString& key);
    QString Selected() const { return selected_; }

    // Canvas pixels of a point (degrees), and the point (latitude, longitude) at canvas pixels.
    QPointF ToCanvas(double latitude, double longitude) const;
    QPointF ToEarth(QPointF canvasPoint) const;
    // The box that bounds all maps, with a small margin (the world when there are none).
    void ShowAll();
    // Zooms by `factor` keeping the earth under `about` (canvas pixels) still.
    void ZoomBy(double factor, QPointF about);
    // The map under a canvas point (the one drawn on top), or nothing.
    std::optional<QString> MapAt(QPointF canvasPoint) const;
    // The number of pictures still being decoded.
    int Decoding() const { return thumbnails_.Pending(); }
    // The memory the decoded pictures may take together (bytes): half for the first pictures of
    // all maps, the rest for sharper ones of the maps on screen.
    static constexpr std::int64_t kPictureBudget = 256ll << 20;
    // The longer side of each map's first picture, for a library of `maps` maps (64 to 512).
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
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Shown {
        QImage image;
        int longest = 0;   // the size it was asked for
        int requested = 0; // a sharper one on its way
        QString error;
        std::string source; // the picture and corners it was made for
    };
    QRectF RectOf(const CoverageMap& map) const;
    void Arrived(const QString& key, const QImage& image, const QString& error, int longest);
    void SharpenVisible();
    void KeepWithinBudget();

    std::vector<CoverageMap> maps_;
    QString selected_;
    QHash<QString, Shown> pictures_;
    Picture::Thumbnails thumbnails_;
    QTimer settled_;  // the view has stopped moving: sharper pictures for what is on screen
    QTimer arrivals_; // pictures that arrive close together are painted together
    double centreLat_ = 0, centreLon_ = 0, perDegree_ = 1;
    bool placed_ = false;
    std::optional<QPointF> pressed_, dragFrom_;
    double dragLat_ = 0, dragLon_ = 0;
};
