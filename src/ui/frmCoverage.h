#pragma once
// Map Coverage: every map of the library on one canvas, where its corners put it. A resizable
// window beside the main window, kept open while maps are chosen; its placement is kept like
// the main window's (keys "CoverageLeft", "CoverageTop", "CoverageWidth", "CoverageHeight") and
// brought within the screen when it opens.

#include "ui/Form.h"
#include "view/CoverageCanvas.h"

#include <QLabel>
#include <QPointF>

class frmCoverage : public FormOf<frmCoverage> {
    Q_OBJECT
public:
    frmCoverage();

    CoverageCanvas* picCanvas;
    QLabel* lblPosition; // the pointer's position, as the map view writes it

    // Canvas pixels of a point (degrees).
    QPointF ToCanvas(double latitudeDegrees, double longitudeDegrees) const {
        return picCanvas->ToCanvas(latitudeDegrees, longitudeDegrees);
    }
    QWidget* Canvas() const { return picCanvas; }
    // Back to the box that bounds all maps, kept fitted until the view is moved.
    void ShowAll() { picCanvas->ShowAll(); }

    void Form_Load() override;
    void Form_Unload(std::int16_t& Cancel) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
