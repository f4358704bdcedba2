// Calibrate Map: the grid's intersections proposed on the scan, and the neat line's corners
// clicked.
#include "grids/GridLines.h"
#include "ui/frmCalibrate.h"

#include <QGraphicsEllipseItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsScene>
#include <QPen>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// The grids whose coordinates are metres: their intersections are proposed in them.
bool Metric(Grids::GridKind kind) {
    using K = Grids::GridKind;
    return kind == K::Bng || kind == K::Irish || kind == K::Itm || kind == K::Utm ||
           kind == K::Mgrs;
}

const QColor kProposed(220, 110, 0);

} // namespace

void frmCalibrate::Propose() {
    for (Proposal& p : proposals_) delete p.mark;
    proposals_.clear();
    std::vector<const Point*> placed;
    for (const Point& p : points_)
        if (p.place) placed.push_back(&p);
    if (placed.size() < 2) {
        lblAssist->setText("With the places of two points, the grid's intersections are proposed "
                           "on the scan.");
        return;
    }
    // In the grid the places were typed in when they share one in metres, else the National
    // Grid.
    Grids::Grid grid = placed[0]->place->form;
    bool typedIn = Metric(grid.kind);
    for (const Point* p : placed)
        typedIn = typedIn && Grids::SystemOf(*p->place) == Grids::SystemOf(*placed[0]->place);
    if (!typedIn) grid = {Grids::GridKind::Bng, 0};
    std::vector<Grids::ScanPlace> given;
    Grids::GridPoint in = placed[0]->place->point;
    for (const Point* p : placed) {
        if (!typedIn) {
            const Grids::Written w =
                Grids::WritePlace(p->place->latitude, p->place->longitude, grid, datum_);
            if (w.outcome != Grids::Outcome::Written) {
                lblAssist->setText("No grid is proposed: " + QString::fromStdString(w.why) + ".");
                return;
            }
            in = w.point;
        }
        given.push_back(
            {p->x, p->y, typedIn ? p->place->point.x : in.x, typedIn ? p->place->point.y : in.y});
    }
    const Grids::Intersections found = Grids::ProposeIntersections(given, width_, height_);
    const QString lines = QString::number(found.spacing / 1000) + " km lines of the " +
                          QString::fromStdString(Grids::NameOf(grid));
    for (const Grids::ScanPlace& q : found.points) {
        auto* mark = new QGraphicsEllipseItem(-6, -6, 12, 12);
        mark->setFlag(QGraphicsItem::ItemIgnoresTransformations);
        mark->setPen(QPen(kProposed, 2, Qt::DotLine));
        mark->setBrush(QColor(kProposed.red(), kProposed.green(), kProposed.blue(), 60));
        mark->setPos(q.x / shown_, q.y / shown_);
        mark->setZValue(-0.25); // under the points' marks
        mark->setToolTip("An intersection of the " + lines + ": click to add it as a point");
        scene_->addItem(mark);
        proposals_.push_back({QPointF(q.x, q.y), {q.east, q.north, in.zone, in.south}, grid, mark});
    }
    lblAssist->setText(found.points.empty()
                           ? "No intersection of the grid is proposed on the scan."
                           : QString::number(found.points.size()) + " intersections of the " +
                                 lines + " proposed: click one to add it as a point.");
}

std::vector<QPointF> frmCalibrate::Proposals() const {
    std::vector<QPointF> at;
    for (const Proposal& p : proposals_) at.push_back(p.at);
    return at;
}

void frmCalibrate::ConfirmProposal(int index) {
    if (index < 0 || std::size_t(index) >= proposals_.size()) return;
    const Proposal p = proposals_[std::size_t(index)]; // the proposals change with the point
    std::string why;
    const auto place = Grids::PlaceOf(p.in, p.grid, datum_, why);
    const Grids::Written w =
        place ? Grids::WritePlace(place->first, place->second, p.grid, datum_) : Grids::Written{};
    if (!place || w.outcome != Grids::Outcome::Written) {
        lblReading->setText("The intersection cannot be placed: " +
                            QString::fromStdString(place ? w.why : why) + ".");
        return;
    }
    AddPoint(p.at.x(), p.at.y());
    txtPosition->setText(QString::fromStdString(w.text));
    txtPosition_Enter();
}

void frmCalibrate::MakeEdgeControls() {
    chkNeatLine = new QCheckBox("Neat &line: the points' outer hull", this);
    chkNeatLine->setObjectName("chkNeatLine");
    cmdCorners = new QPushButton("Neat line &corners", this);
    cmdCorners->setObjectName("cmdCorners");
    cmdCorners->setCheckable(true);
    cmdCorners->setToolTip("Click the neat line's corners on the scan, then this again");
    cmdClearCorners = new QPushButton("Clea&r corners", this);
    cmdClearCorners->setObjectName("cmdClearCorners");
}

void frmCalibrate::cmdCorners_Click(bool on) {
    if (cmdCorners->isChecked() != on) {
        const QSignalBlocker quiet(cmdCorners);
        cmdCorners->setChecked(on);
    }
    if (on) {
        corners_.clear();
        lblReading->setText("Click the neat line's corners in turn, then Neat line corners "
                            "again.");
    } else if (!corners_.empty() && corners_.size() < 3) {
        corners_.clear();
        lblReading->setText("A neat line needs 3 corners at least; none is kept.");
    } else if (!corners_.empty()) {
        lblReading->setText("The neat line has " + QString::number(corners_.size()) + " corners.");
    }
    chkNeatLine->setEnabled(corners_.size() < 3 || on);
    ShowEdge();
}

void frmCalibrate::AddCorner(double x, double y) {
    corners_.push_back({std::clamp(x, 0.0, double(width_)), std::clamp(y, 0.0, double(height_))});
    ShowEdge();
}

void frmCalibrate::cmdClearCorners_Click() {
    corners_.clear();
    cmdCorners_Click(false);
}

void frmCalibrate::ShowEdge() {
    QPolygonF outline;
    for (const auto& c : cmdCorners->isChecked() ? corners_ : Edge())
        outline << QPointF(c[0] / shown_, c[1] / shown_);
    if (!edge_) {
        edge_ = scene_->addPolygon(outline, QPen(Qt::darkGreen, 0, Qt::DashLine));
        edge_->setZValue(-0.5);
    }
    edge_->setPolygon(outline);
}
