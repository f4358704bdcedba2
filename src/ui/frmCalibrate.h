#pragma once
// Calibrate Map: a scan without a georeference placed by points on it. The scan is shown in a
// view that zooms (the wheel, Ctrl and + or -) and pans (dragging the background, the scroll
// bars); a click on it adds a point there and puts the focus in the place field, where Enter
// takes the place typed (any form Find Maps reads) for the point selected. The list gives each
// point's pixel, place and residuals in metres and in pixels, those more than three times the
// mean marked; a point selected moves by dragging its mark or by the arrow keys (one screen
// pixel) and goes with Delete. The transforms are always listed, those the points do not allow
// disabled. Once two points have places, the intersections of the map's grid (the metric grid
// the places were typed in, else the National Grid) are proposed on the scan where the fit puts
// them, each added as a point with its place by a click. The neat line is the corners clicked
// in neat-line mode, or the points' outer hull. Save writes the map (Georef::Calibrate) into the
// Maps folder in the background, with a progress bar and Cancel, leaving nothing when cancelled
// or failed; Cancel with points placed asks before discarding them (No the default).

#include "georef/Calibration.h"
#include "grids/Grids.h"
#include "ui/Form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

class QGraphicsScene;
class QGraphicsView;
class QGraphicsItem;

class frmCalibrate : public FormOf<frmCalibrate> {
    Q_OBJECT
public:
    frmCalibrate();
    ~frmCalibrate() override;

    QLineEdit* txtName;      // the map's name (default: the scan's stem)
    QTreeWidget* lstPoints;  // #, Pixel, Place, Residual (m), Residual (px)
    QLineEdit* txtPosition;  // the selected point's place, as typed
    QLabel* lblReading;      // how the place was read, or why it cannot be
    QComboBox* cboTransform; // the five transforms, in Georef::Transform's order
    QLabel* lblFit;          // the root mean square, or why there is no fit
    QLabel* lblAssist;       // the grid intersections proposed, or why there are none
    QCheckBox* chkNeatLine;  // the points' outer hull is the map's neat line
    QPushButton* cmdCorners; // checked: clicks on the scan are the neat line's corners
    QPushButton* cmdClearCorners;
    QProgressBar* prgSave;
    QPushButton* cmdSave;
    QPushButton* cmdCancel;
    QGraphicsView* picScan;

    // Opens the scan (a native path) into the Maps folder `mapsFolder` (native) on `datum`:
    // false, after saying why in a message box, when it cannot be read (no point is placed).
    bool Open(const QString& scan, const QString& mapsFolder, Georef::Datum datum);
    // Adds a point at a position on the scan (pixels, as GDAL counts them), selects it and puts
    // the focus in the place field.
    void AddPoint(double x, double y);
    // Takes the place field's text for the selected point; a text that is not a place stays,
    // and the line under it says why.
    void txtPosition_Enter();
    // Moves the selected point by a step on the scan (pixels).
    void MoveSelected(double dx, double dy);
    void DeleteSelected();
    // The grid intersections proposed (scan pixels), nearest the points placed first; one
    // confirmed becomes a point with its place.
    std::vector<QPointF> Proposals() const;
    void ConfirmProposal(int index);
    // Neat-line mode on (clicks add corners) or off (the corners, 3 at least, are the neat line;
    // fewer are dropped); a corner added (scan pixels); the corners cleared.
    void cmdCorners_Click(bool on);
    void AddCorner(double x, double y);
    void cmdClearCorners_Click();
    // Starts saving in the background; the window closes when the map is written.
    void cmdSave_Click();
    // Cancels a save under way (leaving nothing), or closes the window.
    void cmdCancel_Click();

    // Whether a save is under way.
    bool Saving() const { return worker_.joinable(); }

    void Form_Unload(std::int16_t& Cancel) override;

signals:
    // The share of the save done (0 to 1000), on the window's thread.
    void Progressed(int done);
    // The map was saved: its definition's name as the library lists it ("sheet.inf") and what
    // the status bar should say.
    void Saved(const QString& name, const QString& said);

protected:
    // The arrow keys and Delete on the list or the scan act on the selected point.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Point {
        double x = 0, y = 0;
        QString typed;
        std::optional<Grids::Place> place;
        QGraphicsItem* mark = nullptr;
    };
    void LayOut();
    void Connect();
    int Selected() const;
    void Select(int index);
    void PlaceMark(Point& point);
    void Refit();
    Georef::FitRequest Request() const;
    void ShowPoints(const std::optional<Georef::Fit>& fit);
    void EnableTransforms(std::size_t placed);
    // The neat line Save gives: the corners clicked, else the points' outer hull when asked
    // for (scan pixels).
    std::vector<std::array<double, 2>> Edge() const;
    void MakeEdgeControls();
    void ShowEdge();
    // The grid intersections proposed by the points with places.
    void Propose();
    // Saving: the controls that change the calibration off while it runs; its end.
    void Start(Georef::CalibrationRequest request);
    void Busy(bool busy);
    // The save's end: the map written (`name` its definition's) or not, and why.
    void End(const QString& name, const QString& said, const QString& failure, bool cancelled);

    struct Proposal {
        QPointF at;          // on the scan (pixels)
        Grids::GridPoint in; // the intersection in the grid
        Grids::Grid grid;
        QGraphicsItem* mark = nullptr;
    };

    std::vector<Point> points_;
    std::vector<Proposal> proposals_;
    std::vector<std::array<double, 2>> corners_; // the neat line's corners clicked (pixels)
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    QGraphicsScene* scene_ = nullptr;
    class QGraphicsPolygonItem* edge_ = nullptr;
    QString scan_, maps_;
    Georef::Datum datum_ = Georef::Datum::OSGB36;
    int width_ = 0, height_ = 0;
    double shown_ = 1;             // scan pixels per pixel of the picture shown
    bool transformChosen_ = false; // the person chose the transform; else the default follows
};
