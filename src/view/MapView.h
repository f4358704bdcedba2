#pragma once
// The map view: zoom, Fit, pan, the wheel, the keys, the position under the pointer and a
// distance line, for a picture box (picInner) shown through a frame (picOuter) and two scroll
// bars. The offset of the picture always follows the scroll bars' values, so zooming and panning
// set the values and the bars' own change handlers move the picture, as the scroll bars do
// themselves.
//
// The zoom factors form a ladder of powers of the square root of 2 from 1/32 to 16; Fit takes
// the largest factor (on the ladder or not) at which the whole picture fits the frame, and keeps
// fitting each new picture and each resize of the frame until another zoom is chosen.
//
// The plain wheel zooms about the pointer (as Ctrl+wheel does); Shift+wheel and a sideways wheel
// scroll across. With the focus on the frame, the arrow keys pan by a tenth of the frame, Page
// Up and Page Down by a frame, Home and End to the picture's top-left and bottom-right edges, and
// + and - zoom about the frame's centre. Focus that came from the keyboard shows a frame round
// the picture, and the position panel then tells the place at the frame's centre while the
// pointer is elsewhere. The position panel writes places in the grid chosen (SetGrid), whose
// lines may be drawn over a placed picture (SetGridLines, view/GridOverlay.h).

#include "grids/Grids.h"
#include "mapdef/Georeference.h"
#include "picture/PictureLoader.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class GridOverlay;
class PictureBox;
class ScrollBar;
class QWidget;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

class MapView : public QObject {
    Q_OBJECT
public:
    // `fitRanges` applies the scroll-range rule to the bars (the owner's own routine).
    MapView(PictureBox& inner, PictureBox& outer, ScrollBar& hBar, ScrollBar& vBar,
            std::function<void()> fitRanges, QObject* parent = nullptr);

    static constexpr double kMinZoom = 1.0 / 32, kMaxZoom = 16;
    // The factor on the ladder `steps` square roots of 2 above or below `factor` (the next one
    // strictly above or below when `factor` is off the ladder), within kMinZoom..kMaxZoom.
    static double LadderStep(double factor, int steps);
    // The factor as the status panel shows it: "100%", "141%", "6.25%", "1600%".
    static QString ZoomText(double factor);

    double Zoom() const;
    bool Fitting() const { return fitting_; }
    // Fit each map: while on, every new picture is fitted, whatever zoom was chosen before it;
    // turning it on fits the picture shown.
    void SetFitEach(bool on);
    bool FitEach() const { return fitEach_; }

    // The commands. The menu and the keys keep the view's centre where it is.
    void ZoomIn();
    void ZoomOut();
    void FitMap();
    void ActualSize();
    // Sets the factor (Fit ends), keeping the point of the frame `anchor` (pixels of the frame)
    // over the same place of the picture; by default the frame's centre.
    void SetZoom(double factor, std::optional<QPointF> anchor = std::nullopt);

    // A new picture (another map, or none): Fit fits it, any other factor stays; a distance
    // line goes.
    void PictureChanged();

    // Shows a picture in the picture box from what its header says (`probe`, a library entry's;
    // `native` its native path), without reading the header again: drawn from tiles of a
    // pyramid of levels built in the background, the part in view decoded ahead of it and
    // drawn as soon as it comes (the window is not held up for it). The work for the picture
    // shown before is abandoned and its tiles dropped. Errors known at once pass as CoreError
    // (Picture::Open's and Picture::Tiled's: the probe's fault, a picture too large, no
    // decoder).
    void ShowPicture(const std::string& native, const Picture::Probe& probe);
    // No picture; a decode under way is abandoned.
    void ClearPicture();
    // Where the picture shown lies on the earth (nothing: it is not placed); the picture box's
    // coordinate system is set from it.
    void SetGeoreference(const std::optional<MapCode::Georeference>& georeference);
    // Scrolls the picture so that a place (minutes of arc) is at the frame's centre, as far as
    // the scroll bars reach, at the zoom it has. False when the picture is not placed.
    bool CentreOn(double latitude, double longitude);
    // Marks a place (minutes of arc) on the picture shown, a small marker in the distance
    // line's colours, kept through zooming and panning until another picture is shown or
    // another place is marked. False, with no mark, when the picture is not placed or the place
    // lies off it.
    bool MarkPlace(double latitude, double longitude);
    // The place (latitude and longitude in minutes of arc) under a point of the picture box,
    // when the picture is placed and the point is on it.
    std::optional<std::pair<float, float>> PlaceAt(QPointF pointInInner) const;
    // What the status bar says of the picture shown: "" or "Shown at 1/4 resolution: ...".
    QString PictureNote() const { return note_; }
    // True while the picture shown is still being decoded.
    bool Decoding() const;
    // The tiles of the picture shown (none without a picture).
    const std::shared_ptr<Picture::Tiled>& Tiles() const { return tiled_; }

    // The status panels' texts: the position under the pointer (and a distance line's length
    // and bearing, which stay when the pointer leaves, until the line goes), and the zoom factor.
    QString PositionText() const { return position_; }
    // A place (minutes of arc) as the position panel writes it, in the grid chosen; "" when no
    // text can hold it.
    QString PlaceText(std::pair<float, float> place) const;
    // The grid the position panel writes places in and whose lines are drawn, the places in the
    // library's datum: by default latitude and longitude (with the National Grid reference) on
    // OSGB 1936.
    void SetGrid(Grids::Grid grid, Grids::Datum datum);
    Grids::Grid Grid() const { return grid_; }
    // The grid's lines over a placed picture, or none.
    void SetGridLines(bool on);
    bool GridLines() const;
    // The point of the picture box the user is at: the pointer over the picture, or else the
    // frame's centre.
    QPointF PointOfInterest() const;

signals:
    void PositionChanged(const QString& text);
    void ZoomChanged(const QString& text);
    // The whole picture has been decoded and shown, or its decode failed (`error` says why).
    void PictureDecoded(const QString& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply(double factor, QPointF anchor);
    double FitFactor() const;
    void ScrollTo(ScrollBar& bar, double value);
    void ShowPosition(std::optional<QPointF> pointInInner);
    // The position panel for where the user is now: the pointer, or (with keyboard focus) the
    // frame's centre, or neither.
    void RefreshPosition();
    bool KeyPressed(const QKeyEvent& key);
    void ShowFocusFrame();
    bool Wheel(QObject* watched, const QWheelEvent& wheel);
    // The events of the frame (picOuter) and of the picture (picInner).
    bool FrameEvent(QEvent& event);
    bool PictureEvent(QEvent& event);
    void MousePressed(const QMouseEvent& mouse);
    void MouseMoved(const QMouseEvent& mouse);
    // The distance line and the marked place over the picture, or neither.
    void ShowLine();
    void UpdateCursor();
    // The place on the earth of the centre of a picture pixel (minutes of arc), when the
    // picture has a coordinate system.
    std::optional<std::pair<float, float>> LatLonAt(QPointF pixel) const;

    PictureBox& inner_;
    PictureBox& outer_;
    ScrollBar& hBar_;
    ScrollBar& vBar_;
    std::function<void()> fitRanges_;
    bool fitting_ = false;
    bool fitEach_ = false;
    bool refitQueued_ = false;
    bool framePrepared_ = false; // the memory of a screen's part asked for
    QString position_;
    // Panning: where the press was (global pixels) and the bars' values then.
    std::optional<QPointF> panFrom_;
    int panH_ = 0, panV_ = 0;
    // The distance line, in picture pixels (full scale): start and end.
    std::optional<QPointF> lineFrom_, lineTo_;
    bool measuring_ = false;
    // The place marked, in picture coordinates (full scale, pixels' edges at whole numbers).
    std::optional<QPointF> mark_;
    // The grid's lines, under the distance line and the mark.
    GridOverlay* gridOverlay_;
    QWidget* overlay_;
    Grids::Grid grid_;
    Grids::Datum datum_ = Grids::Datum::OSGB36;
    // The pointer over the picture, in pixels of the frame.
    std::optional<QPointF> pointer_;
    // The focus came from the keyboard (or a key was used since): the focus frame shows.
    bool keyboardFocus_ = false;
    QWidget* focusFrame_;
    // Wheel turns not yet a whole notch (fine-grained wheels and touchpads send parts).
    double wheelTurn_ = 0;
    // The picture shown, and the status note.
    std::shared_ptr<Picture::Tiled> tiled_;
    std::optional<MapCode::Georeference> georeference_;
    QString note_;
};
