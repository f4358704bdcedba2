#pragma once
// The lines of a grid over the map picture (View > Grid Lines): a layer of the picture box,
// drawn with the picture over the part its frame shows, the grid's true lines (Grids::GridLines)
// dark on a light edging, so that they read on light and dark maps alike, with their values at the
// frame's top and left edges. Nothing is drawn while the layer is off, and never over a picture
// that is not placed (a map without corners, or none).

#include "grids/GridLines.h"
#include "mapdef/Georeference.h"
#include "view/PictureBox.h"

#include <QImage>
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Platform {
class LargePages;
}

class GridOverlay : public QObject, public PictureLayer {
public:
    // A layer of `picture` (the picture box shown through `frame`, whose border it keeps clear
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
    void Paint(QPainter& painter, const QRect& exposed) override;
    void PictureChanged() override;

private:
    // The lines over the view now, their pixels made if they are new; nothing when none are
    // drawn (off, no lines at this zoom).
    const Grids::GridDrawing* Lines();
    // Draws the blocks of picture and lines kept within `area` (making those of a sharp
    // picture that are missing); the part of `area` not drawn.
    QRegion DrawBlocks(QPainter& p, const QRect& area);
    QImage MakeBlock(const QRect& rect);
    // Whether a block (pixels of the box) lies within the area the lines were made for.
    bool Within(const QRect& rect) const;
    void Recycle();                    // the blocks kept given up
    void Release(const QImage& block); // its memory free for another
    // The lines within `region` (pixels of the box), and their values at the view's edges.
    void DrawLines(QPainter& p, const QRegion& region) const;
    void DrawLabels(QPainter& p, const QRect& area, const Grids::GridDrawing& drawing);
    // The pixels of the lines kept around the view, made again only when the lines are: a pan
    // within the area kept only moves them.
    void MakeRuns(double zoom);
    // A line's value written on a light ground, made once.
    const QImage& Label(const std::string& text);

    PictureBox& picture_;
    PictureBox& frame_;
    bool on_ = false;
    QRect shown_; // what the lines are drawn over, in the picture box; empty: none
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
    // The picture with its lines drawn, in blocks of the box's pixels (the key: column and row
    // of the block), kept for the part shown and a margin around it: a pan draws them as
    // cheaply as the picture alone. Of the lines' shape `blocksOf_`, made again for any other;
    // `whole` when the block lay within the area its lines were made for.
    struct Block {
        QImage image;
        bool whole = false;
    };
    std::unordered_map<quint64, Block> blocks_;
    unsigned blocksOf_ = 0;
    // Their memory: large pages (see Platform::LargePages), each of a few blocks, and the
    // blocks' places in them free for the next made.
    std::vector<std::unique_ptr<Platform::LargePages>> pages_;
    std::vector<unsigned char*> free_;
};
