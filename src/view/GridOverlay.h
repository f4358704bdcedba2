#pragma once
// The lines of a grid over the map picture (View > Grid Lines): a layer over the part of the
// picture box that its frame shows, drawing the grid's true lines (Grids::GridLines) dark on a
// light edging, so that they read on light and dark maps alike, with their values at the
// frame's top and left edges. Nothing is drawn while the layer is off, and never over a picture
// that is not placed (a map without corners, or none).

#include "grids/GridLines.h"
#include "mapdef/Georeference.h"

#include <QImage>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class PictureBox;

class GridOverlay : public QWidget {
public:
    // A layer in `picture` (the picture box shown through `frame`, whose border it keeps clear
    // of), off and showing the latitude and longitude grid on OSGB 1936 until told otherwise. It
    // follows the picture box and the frame as they move and resize.
    GridOverlay(PictureBox& picture, PictureBox& frame);
    ~GridOverlay() override;

    // The grid whose lines are drawn, its places in the library's datum.
    void SetGrid(Grids::Grid grid, Grids::Datum datum);
    // On or off.
    void SetOn(bool on);
    bool On() const { return on_; }
    // Where the picture shown lies (nothing: it is not placed, and no lines are drawn).
    void SetMap(const std::optional<MapCode::Georeference>& map);
    // Takes the part of the picture the frame shows now, after a zoom, a new picture or a move;
    // moves and resizes of the picture box and the frame are followed without being told.
    void Follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The pixels of the lines kept around the view, made again only when the lines are: a pan
    // within the area kept only moves them.
    void MakeRuns(double zoom);
    // A line's value written on a light ground, made once.
    const QImage& Label(const std::string& text);

    PictureBox& picture_;
    PictureBox& frame_;
    bool on_ = false;
    Grids::Grid grid_;
    Grids::Datum datum_ = Grids::Datum::OSGB36;
    std::unique_ptr<Grids::GridLines> lines_;
    std::optional<MapCode::Georeference> map_;
    // Those pixels, in pixels of the whole picture at the zoom (0, 0 at its top-left corner), as
    // runs of whole pixels: down columns (of steep stretches; their edging to their right), in
    // the order of their tops, and along rows (their edging below), in the order of their rows.
    struct Runs;
    std::unique_ptr<Runs> runs_;
    unsigned runsOf_ = 0; // the lines' making they are of
    double runsZoom_ = 0; // 0: none made
    std::unordered_map<std::string, QImage> labels_;
};
