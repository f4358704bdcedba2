#include "ui/frmCalibrate.h"

#include "picture/PictureLoader.h"
#include "ui/CoreText.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"

#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kColumnPixel = 1, kColumnPlace = 2, kColumnMetres = 3, kColumnPixels = 4;

// The scan: the wheel zooms about the pointer, dragging the background pans, and a click that
// does not drag reports where it fell (in the scene).
class ScanView : public QGraphicsView {
public:
    using QGraphicsView::QGraphicsView;
    std::function<void(QPointF)> clicked;

protected:
    void wheelEvent(QWheelEvent* event) override {
        const double step = event->angleDelta().y() > 0 ? 1.25 : 0.8;
        setTransformationAnchor(AnchorUnderMouse);
        scale(step, step);
    }
    void mousePressEvent(QMouseEvent* event) override {
        pressed_ = event->position().toPoint();
        onMark_ = itemAt(pressed_) && itemAt(pressed_)->flags() & QGraphicsItem::ItemIsMovable;
        QGraphicsView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QGraphicsView::mouseReleaseEvent(event);
        const QPoint moved = event->position().toPoint() - pressed_;
        if (event->button() == Qt::LeftButton && !onMark_ && moved.manhattanLength() < 3 && clicked)
            clicked(mapToScene(event->position().toPoint()));
    }

private:
    QPoint pressed_;
    bool onMark_ = false;
};

// A point's mark: a ring that keeps its size on the screen, dragged to move the point.
class Mark : public QGraphicsEllipseItem {
public:
    explicit Mark(std::function<void(Mark*, QPointF)> moved)
        : QGraphicsEllipseItem(-6, -6, 12, 12), moved_(std::move(moved)) {
        setFlags(ItemIsMovable | ItemIgnoresTransformations | ItemSendsGeometryChanges);
        setPen(QPen(Qt::red, 2));
    }

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override {
        if (change == ItemPositionHasChanged && moved_) moved_(this, value.toPointF());
        return QGraphicsEllipseItem::itemChange(change, value);
    }

private:
    std::function<void(Mark*, QPointF)> moved_;
};

// The picture at `path` read by Qt, scaled down evenly to at most `most` pixels from the
// scan's size; null when Qt cannot read it.
QImage Shown(const QString& path, int width, int height, std::uint64_t most) {
    QImageReader reader(path);
    if (!reader.canRead()) return {};
    const double shrink = std::max(1.0, std::sqrt(double(width) * double(height) / double(most)));
    reader.setScaledSize(
        QSize(std::max(1, int(width / shrink)), std::max(1, int(height / shrink))));
    return reader.read();
}

// The convex hull of points, anticlockwise on the screen (Andrew's monotone chain).
std::vector<std::array<double, 2>> Hull(std::vector<std::array<double, 2>> p) {
    std::sort(p.begin(), p.end());
    if (p.size() < 3) return p;
    const auto turn = [](const auto& o, const auto& a, const auto& b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    std::vector<std::array<double, 2>> hull(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) { // lower, then upper
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
        hull[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
        hull[k++] = p[i];
    }
    hull.resize(k - 1);
    return hull;
}

QString Figure(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

} // namespace

frmCalibrate::frmCalibrate() {
    setObjectName("frmCalibrate");
    setWindowIcon(ProgramIcon());
    picScan = new ScanView(this);
    picScan->setObjectName("picScan");
    scene_ = new QGraphicsScene(this);
    picScan->setScene(scene_);
    picScan->setDragMode(QGraphicsView::ScrollHandDrag);
    picScan->setAccessibleName("The scan: click a point whose place you know");

    const auto Note = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setWordWrap(true);
        return label;
    };
    txtName = new QLineEdit(this);
    txtName->setObjectName("txtName");
    lstPoints = new QTreeWidget(this);
    lstPoints->setObjectName("lstPoints");
    lstPoints->setHeaderLabels({"#", "Pixel", "Place", "Residual (m)", "Residual (px)"});
    lstPoints->setRootIsDecorated(false);
    lstPoints->setAllColumnsShowFocus(true);
    lstPoints->header()->setSectionResizeMode(kColumnPlace, QHeaderView::Stretch);
    lstPoints->header()->setStretchLastSection(false);
    lstPoints->setAccessibleName("Points placed");
    txtPosition = new QLineEdit(this);
    txtPosition->setObjectName("txtPosition");
    txtPosition->setAccessibleName("Place of the selected point");
    txtPosition->setPlaceholderText("52.4531, -1.2202  or  SP 512 776");
    lblReading = Note("lblReading");
    cboTransform = new QComboBox(this);
    cboTransform->setObjectName("cboTransform");
    for (int t = 0; t < Georef::kTransforms; ++t)
        cboTransform->addItem(QString::fromStdString(Georef::TransformName(Georef::Transform(t))));
    lblAssist = Note("lblAssist");
    MakeEdgeControls();
    prgSave = new QProgressBar(this);
    prgSave->setObjectName("prgSave");
    prgSave->setRange(0, 1000);
    prgSave->hide();
    lblFit = Note("lblFit");
    cmdSave = new QPushButton("&Save", this);
    cmdSave->setObjectName("cmdSave");
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    CancelButton = cmdCancel;

    LayOut();
    Connect();
    lstPoints->installEventFilter(this);
    picScan->installEventFilter(this);
    Define("Calibrate Map", Border::Sizable, StartUp::CentreOwner, 12000, 7500, true, true);
    Refit();
}

frmCalibrate::~frmCalibrate() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void frmCalibrate::Connect() {
    // A click adds a neat line's corner in neat-line mode, confirms a grid intersection
    // proposed, or else adds a point.
    static_cast<ScanView*>(picScan)->clicked = [this](QPointF at) {
        const double x = at.x() * shown_, y = at.y() * shown_;
        if (cmdCorners->isChecked()) return AddCorner(x, y);
        const QGraphicsItem* hit = scene_->itemAt(at, picScan->viewportTransform());
        for (std::size_t i = 0; hit && i < proposals_.size(); ++i)
            if (proposals_[i].mark == hit) return ConfirmProposal(int(i));
        AddPoint(x, y);
    };
    connect(txtPosition, &QLineEdit::returnPressed, this, [this] { txtPosition_Enter(); });
    connect(lstPoints, &QTreeWidget::itemSelectionChanged, this, [this] {
        const int i = Selected();
        if (i >= 0) txtPosition->setText(points_[std::size_t(i)].typed);
    });
    connect(cboTransform, &QComboBox::activated, this, [this] {
        transformChosen_ = true;
        Refit();
    });
    connect(chkNeatLine, &QCheckBox::toggled, this, [this] { Refit(); });
    connect(cmdCorners, &QPushButton::toggled, this, [this](bool on) { cmdCorners_Click(on); });
    connect(cmdClearCorners, &QPushButton::clicked, this, [this] { cmdClearCorners_Click(); });
    connect(this, &frmCalibrate::Progressed, prgSave, &QProgressBar::setValue);
    // The main view's keys: zoom in and out, the whole scan, one pixel a pixel.
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { picScan->scale(1.25, 1.25); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { picScan->scale(1.25, 1.25); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { picScan->scale(0.8, 0.8); }},
        {QKeySequence(Qt::CTRL | Qt::Key_0),
         [this] { picScan->fitInView(scene_->sceneRect(), Qt::KeepAspectRatio); }},
        {QKeySequence(Qt::CTRL | Qt::Key_1), [this] { picScan->resetTransform(); }},
    };
    for (const auto& [key, act] : keys)
        connect(new QShortcut(key, this), &QShortcut::activated, this, act);
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmCalibrate::LayOut() {
    auto* side = new QVBoxLayout;
    auto* name = new QLabel("&Name:", this);
    name->setBuddy(txtName);
    auto* place = new QLabel("&Place:", this);
    place->setBuddy(txtPosition);
    auto* transform = new QLabel("&Transform:", this);
    transform->setBuddy(cboTransform);
    for (QWidget* w :
         std::initializer_list<QWidget*>{name, txtName, lstPoints, place, txtPosition, lblReading,
                                         lblAssist, transform, cboTransform, chkNeatLine})
        side->addWidget(w, w == lstPoints ? 1 : 0);
    auto* corners = new QHBoxLayout;
    corners->addWidget(cmdCorners);
    corners->addWidget(cmdClearCorners);
    side->addLayout(corners);
    side->addWidget(lblFit);
    side->addWidget(prgSave);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    side->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picScan, 3);
    layout->addLayout(side, 2);
}

bool frmCalibrate::Open(const QString& scan, const QString& mapsFolder, Georef::Datum datum) {
    std::string unread;
    if (!Georef::ScanSize(scan.toStdString(), width_, height_, unread)) {
        MsgBox(scan + " cannot be calibrated: " + QString::fromStdString(unread) + ".",
               vbExclamation, "Calibrate Map");
        return false;
    }
    // Shown at most as large as the picture memory bound allows, a quarter of it for the view;
    // a scan Qt does not read (a TIFF) through a JPEG GDAL makes of it.
    const std::uint64_t most = Picture::MemoryLimit() / 4 / 4; // four bytes a pixel
    QImage image = Shown(scan, width_, height_, most);
    std::string why;
    if (image.isNull()) {
        const QTemporaryDir folder;
        const QString preview = folder.filePath("scan.jpg");
        if (Georef::PreviewScan(scan.toStdString(), preview.toStdString(), most, why))
            image = Shown(preview, width_, height_, most);
    }
    if (image.isNull()) {
        MsgBox(scan + " cannot be shown: " + QString::fromStdString(why) + ".", vbExclamation,
               "Calibrate Map");
        return false;
    }
    shown_ = double(width_) / image.width();
    scene_->addPixmap(QPixmap::fromImage(image))->setZValue(-1);
    scene_->setSceneRect(image.rect());
    scan_ = scan, maps_ = mapsFolder, datum_ = datum;
    txtName->setText(
        FromCore(Georef::CalibrationName({{}, scan.toStdString(), {}, {}})).chopped(4));
    setWindowTitle("Calibrate Map - " +
                   QString::fromStdString(Georef::Printable(scan.section('/', -1).toStdString())));
    return true;
}

void frmCalibrate::AddPoint(double x, double y) {
    Point p;
    p.x = std::clamp(x, 0.0, double(width_)), p.y = std::clamp(y, 0.0, double(height_));
    const std::size_t index = points_.size();
    auto* mark = new Mark([this](Mark* moved, QPointF at) {
        for (Point& q : points_)
            if (q.mark == moved) q.x = at.x() * shown_, q.y = at.y() * shown_;
        Refit();
    });
    scene_->addItem(mark);
    p.mark = mark;
    points_.push_back(p);
    PlaceMark(points_.back());
    auto* row = new QTreeWidgetItem(lstPoints);
    row->setText(0, QString::number(index + 1));
    Select(int(index));
    Refit();
    txtPosition->clear();
    lblReading->setText("Type the place of point " + QString::number(index + 1) +
                        ", then press Enter.");
    txtPosition->setFocus();
}

void frmCalibrate::PlaceMark(Point& point) {
    // Placed without reporting a move: the point is where it is said to be already.
    auto* mark = static_cast<Mark*>(point.mark);
    mark->setFlag(QGraphicsItem::ItemSendsGeometryChanges, false);
    mark->setPos(point.x / shown_, point.y / shown_);
    mark->setFlag(QGraphicsItem::ItemSendsGeometryChanges, true);
}

int frmCalibrate::Selected() const {
    const auto rows = lstPoints->selectedItems();
    return rows.isEmpty() ? -1 : lstPoints->indexOfTopLevelItem(rows.first());
}

void frmCalibrate::Select(int index) {
    if (QTreeWidgetItem* row = lstPoints->topLevelItem(index)) lstPoints->setCurrentItem(row);
}

void frmCalibrate::txtPosition_Enter() {
    const int i = Selected();
    if (i < 0) {
        lblReading->setText("Click the scan to place a point first.");
        return;
    }
    const Grids::Place place = Grids::ReadPlace(txtPosition->text().toStdString(), datum_);
    Point& p = points_[std::size_t(i)];
    p.typed = txtPosition->text();
    if (!place.ok) {
        lblReading->setText("Not a place: " + QString::fromStdString(place.error) + ".");
        p.place.reset();
    } else {
        lblReading->setText(QString::fromStdString(Grids::DescribePlace(place, datum_)));
        p.place = place;
    }
    Refit();
}

void frmCalibrate::MoveSelected(double dx, double dy) {
    const int i = Selected();
    if (i < 0) return;
    Point& p = points_[std::size_t(i)];
    p.x = std::clamp(p.x + dx, 0.0, double(width_));
    p.y = std::clamp(p.y + dy, 0.0, double(height_));
    PlaceMark(p);
    Refit();
}

void frmCalibrate::DeleteSelected() {
    const int i = Selected();
    if (i < 0) return;
    delete points_[std::size_t(i)].mark;
    points_.erase(points_.begin() + i);
    delete lstPoints->takeTopLevelItem(i);
    for (int k = i; k < lstPoints->topLevelItemCount(); ++k)
        lstPoints->topLevelItem(k)->setText(0, QString::number(k + 1));
    Refit();
}

bool frmCalibrate::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == lstPoints || watched == picScan) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // One pixel of the screen, in the scan's pixels.
        const double step = shown_ / std::max(picScan->transform().m11(), 1e-9);
        switch (key->key()) {
        case Qt::Key_Delete:
            DeleteSelected();
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (key->modifiers() != Qt::NoModifier || Selected() < 0) break;
            MoveSelected(key->key() == Qt::Key_Left    ? -step
                         : key->key() == Qt::Key_Right ? step
                                                       : 0,
                         key->key() == Qt::Key_Up     ? -step
                         : key->key() == Qt::Key_Down ? step
                                                      : 0);
            return true;
        default:
            break;
        }
    }
    return Form::eventFilter(watched, event);
}

Georef::FitRequest frmCalibrate::Request() const {
    Georef::FitRequest request;
    request.datum = datum_;
    request.width = width_, request.height = height_;
    request.transform = Georef::Transform(std::max(cboTransform->currentIndex(), 0));
    std::vector<const Point*> placed;
    for (const Point& p : points_)
        if (p.place) placed.push_back(&p);
    // In the grid the places were typed in when they share one, else in degrees.
    request.epsg = placed.empty() ? 0 : Grids::SystemOf(*placed[0]->place);
    for (const Point* p : placed)
        if (Grids::SystemOf(*p->place) != request.epsg) request.epsg = 0;
    for (const Point* p : placed) {
        const Grids::Place& place = *p->place;
        request.points.push_back({p->x, p->y, request.epsg ? place.point.x : place.longitude,
                                  request.epsg ? place.point.y : place.latitude, place.latitude,
                                  place.longitude});
    }
    return request;
}

std::vector<std::array<double, 2>> frmCalibrate::Edge() const {
    if (corners_.size() >= 3) return corners_;
    if (!chkNeatLine->isChecked()) return {};
    std::vector<std::array<double, 2>> corners;
    for (const Point& p : points_) corners.push_back({p.x, p.y});
    return corners.size() >= 3 ? Hull(corners) : std::vector<std::array<double, 2>>{};
}

void frmCalibrate::EnableTransforms(std::size_t placed) {
    auto* model = qobject_cast<QStandardItemModel*>(cboTransform->model());
    for (int t = 0; t < Georef::kTransforms; ++t)
        if (QStandardItem* item = model ? model->item(t) : nullptr)
            item->setEnabled(placed >= Georef::MinimumPoints(Georef::Transform(t)));
    const int current = cboTransform->currentIndex();
    const bool allowed =
        current >= 0 && placed >= Georef::MinimumPoints(Georef::Transform(current));
    if (!transformChosen_ || !allowed)
        cboTransform->setCurrentIndex(int(Georef::DefaultTransform(placed)));
}

void frmCalibrate::Refit() {
    std::size_t placed = 0;
    for (const Point& p : points_) placed += p.place ? 1 : 0;
    EnableTransforms(placed);
    const Georef::Transform transform = Georef::Transform(cboTransform->currentIndex());
    std::optional<Georef::Fit> fit;
    if (placed >= Georef::MinimumPoints(transform)) {
        try {
            fit = Georef::FitScan(Request());
            lblFit->setText("Root mean square: " + Figure(fit->rmsMetres, 2) + " m.");
        } catch (const Georef::Error& e) {
            lblFit->setText(QString::fromStdString(e.what()));
        }
    } else {
        lblFit->setText(QString::fromStdString(Georef::TransformName(transform)) + " needs " +
                        QString::number(Georef::MinimumPoints(transform)) +
                        " points with their places.");
    }
    ShowPoints(fit);
    cmdSave->setEnabled(fit.has_value() && !Saving());
    ShowEdge();
    Propose();
}

void frmCalibrate::ShowPoints(const std::optional<Georef::Fit>& fit) {
    double mean = 0;
    if (fit && !fit->points.empty()) {
        for (const auto& f : fit->points) mean += f.residualMetres;
        mean /= double(fit->points.size());
    }
    std::size_t k = 0; // the point's place among those fitted
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const Point& p = points_[i];
        QTreeWidgetItem* row = lstPoints->topLevelItem(int(i));
        row->setText(kColumnPixel, Figure(p.x, 1) + ", " + Figure(p.y, 1));
        row->setText(kColumnPlace, p.place ? p.typed : p.typed + " (not a place yet)");
        const Georef::FittedPoint* f = fit && p.place ? &fit->points[k] : nullptr;
        k += p.place ? 1 : 0;
        row->setText(kColumnMetres, f ? Figure(f->residualMetres, 2) : QString());
        row->setText(kColumnPixels, f ? Figure(f->residualPixels, 2) : QString());
        // Far out of line with the others: likely a slip of the hand or of the place typed.
        const bool outlier = f && mean > 0 && f->residualMetres > 3 * mean;
        for (int c = 0; c < lstPoints->columnCount(); ++c)
            row->setForeground(c, outlier ? QBrush(Qt::red) : QBrush());
        row->setToolTip(kColumnMetres, outlier ? "More than three times the mean residual" : "");
        static_cast<Mark*>(p.mark)->setPen(QPen(outlier ? Qt::red : Qt::blue, outlier ? 3 : 2));
    }
}

void frmCalibrate::cmdSave_Click() {
    if (Saving()) return;
    Georef::CalibrationRequest request{Request(), scan_.toStdString(), maps_.toStdString(),
                                       txtName->text().toStdString()};
    request.memoryLimit = Picture::MemoryLimit();
    request.edge = Edge();
    const QString name = FromCore(Georef::CalibrationName(request));
    for (const std::string& target : Georef::CalibrationTargets(request)) {
        const QFileInfo file(QString::fromStdString(target));
        if (!file.exists() || file.canonicalFilePath() == QFileInfo(scan_).canonicalFilePath())
            continue;
        if (MsgBox("The map " + name + " exists already. Replace it?",
                   vbQuestion + vbYesNo + vbDefaultButton2, "Calibrate Map") != vbYes)
            return;
        request.replace = true;
        break;
    }
    Start(std::move(request));
}

void frmCalibrate::Start(Georef::CalibrationRequest request) {
    cancel_ = false;
    prgSave->setValue(0);
    prgSave->show();
    Busy(true);
    lblFit->setText("Saving...");
    request.progress = [this](double done) {
        emit Progressed(int(done * 1000)); // queued: the signal crosses threads
        return !cancel_;
    };
    worker_ = std::thread([this, request = std::move(request), scan = QFileInfo(scan_).fileName()] {
        QString name, said, failure;
        bool cancelled = false;
        try {
            const Georef::CalibrationResult r = Georef::Calibrate(request);
            name = FromCore(r.name);
            said = "Calibrated " + scan + " as " + name;
            if (r.mapPoints < request.fit.points.size())
                said += "; its .map holds the " + QString::number(r.mapPoints) +
                        " points farthest apart of " + QString::number(request.fit.points.size());
            said += ".";
        } catch (const Georef::Error& e) {
            cancelled = e.kind() == Georef::Error::Kind::Cancelled;
            failure = QString::fromStdString(e.what());
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this, [=, this] { End(name, said, failure, cancelled); }, Qt::QueuedConnection);
    });
}

void frmCalibrate::Busy(bool busy) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{picScan, txtName, lstPoints, txtPosition, cboTransform,
                                         chkNeatLine, cmdCorners, cmdClearCorners, cmdSave})
        w->setEnabled(!busy);
}

void frmCalibrate::End(const QString& name, const QString& said, const QString& failure,
                       bool cancelled) {
    if (worker_.joinable()) worker_.join();
    prgSave->hide();
    Busy(false);
    if (!name.isEmpty()) {
        points_.clear(); // saved: nothing to ask about
        emit Saved(name, said);
        Unload();
        return;
    }
    Refit();
    if (cancelled)
        lblFit->setText("The save was cancelled; nothing was written.");
    else
        MsgBox(failure, vbExclamation, "Calibrate Map");
}

void frmCalibrate::cmdCancel_Click() {
    if (Saving())
        cancel_ = true;
    else
        Unload();
}

void frmCalibrate::Form_Unload(std::int16_t& Cancel) {
    // Closing stops a save, which leaves nothing behind.
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    if (points_.empty()) return;
    if (MsgBox("Discard the " + QString::number(points_.size()) +
                   (points_.size() == 1 ? " point" : " points") + " placed on the scan?",
               vbQuestion + vbYesNo + vbDefaultButton2, "Calibrate Map") != vbYes)
        Cancel = 1;
}
