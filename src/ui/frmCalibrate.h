#pragma once
// Calibrate Map: a scan without a georeference placed by points on it. The scan is shown in a
// view that zooms (the wheel, Ctrl and + or -) and pans (dragging the background, the scroll
// bars); a click on it adds a point there and puts the focus in the place field, where Enter
// takes the place typed (any form Find Maps reads) for the point selected. The list gives each
// point's pixel, place and residuals in metres and in pixels, those more than three times the
// mean marked; a point selected moves by dragging its mark or by the arrow keys (one screen
// pixel) and goes with Delete. The transforms are always listed, those the points do not allow
// disabled; the points' outer hull may be taken as the neat line. Save writes the map
// (Georef::Calibrate) into the Maps folder; Cancel with points placed asks before discarding them
// (No the default).

#include "georef/Calibration.h"
#include "grids/Grids.h"
#include "ui/Form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <optional>
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
    QCheckBox* chkNeatLine;  // the points' outer hull is the map's neat line
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
    void cmdSave_Click();
    void cmdCancel_Click();

    void Form_Unload(std::int16_t& Cancel) override;

signals:
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
    // The neat line Save gives: the points' outer hull when asked for (scan pixels).
    std::vector<std::array<double, 2>> Edge() const;

    std::vector<Point> points_;
    QGraphicsScene* scene_ = nullptr;
    class QGraphicsPolygonItem* edge_ = nullptr;
    QString scan_, maps_;
    Georef::Datum datum_ = Georef::Datum::OSGB36;
    int width_ = 0, height_ = 0;
    double shown_ = 1;             // scan pixels per pixel of the picture shown
    bool transformChosen_ = false; // the person chose the transform; else the default follows
};
