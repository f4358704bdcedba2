#include "view/MapView.h"

#include "mapdef/MapCode.h"
#include "platform/CoreError.h"
#include "view/GridOverlay.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

// The ladder's rungs are counted in square roots of 2 from 1: 1/32 is -10, 16 is 8.
constexpr int kLowestRung = -10, kHighestRung = 8;

// Drawn over the picture: the distance line and the marked place, if any, in one colour.
class LineOverlay : public QWidget {
public:
    explicit LineOverlay(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    std::optional<QLineF> line;
    std::optional<QPointF> mark;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(220, 0, 0), 2));
        p.setBrush(QColor(220, 0, 0));
        if (line) {
            p.drawLine(*line);
            p.drawEllipse(line->p1(), 3, 3);
        }
        if (mark) {
            // A dot in a ring, the same size at every zoom.
            p.drawEllipse(*mark, 3, 3);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(*mark, 8, 8);
        }
    }
};

// Drawn over the frame while it has the focus from the keyboard: a ring just inside its border,
// in two colours so that it shows on any map.
class FocusFrame : public QWidget {
public:
    explicit FocusFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRectF ring = QRectF(rect()).adjusted(3, 3, -3, -3); // inside the 2-pixel border
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(ring);
        p.setPen(QPen(palette().color(QPalette::HighlightedText), 1));
        p.drawRect(ring.adjusted(1.5, 1.5, -1.5, -1.5));
    }
};

} // namespace

MapView::MapView(PictureBox& inner, PictureBox& outer, ScrollBar& hBar, ScrollBar& vBar,
                 std::function<void()> fitRanges, QObject* parent)
    : QObject(parent), inner_(inner), outer_(outer), hBar_(hBar), vBar_(vBar),
      fitRanges_(std::move(fitRanges)), gridOverlay_(new GridOverlay(inner, outer)),
      overlay_(new LineOverlay(&inner)), focusFrame_(new FocusFrame(&outer)) {
    inner_.setMouseTracking(true); // the position follows the pointer without a button held
    inner_.installEventFilter(this);
    outer_.installEventFilter(this);
    // The decoding processes ready before the first map is chosen; the memory of a part as large
    // as the screen once the view is first shown (PictureEvent).
    Picture::Prepare();
    overlay_->hide();
    focusFrame_->hide();
}

double MapView::LadderStep(double factor, int steps) {
    const double rung = 2 * std::log2(factor);
    const double nearest = std::round(rung);
    int to = 0;
    if (std::abs(rung - nearest) < 1e-6)
        to = int(nearest) + steps;
    else // off the ladder (after Fit): the first rung beyond it counts as the first step
        to = steps > 0 ? int(std::ceil(rung)) + steps - 1 : int(std::floor(rung)) + steps + 1;
    to = std::clamp(to, kLowestRung, kHighestRung);
    return std::pow(2.0, to / 2.0);
}

QString MapView::ZoomText(double factor) {
    const double percent = factor * 100;
    if (percent < 10 - 0.005) return QString::number(percent, 'f', 2) + "%";
    return QString::number(std::lround(percent)) + "%";
}

double MapView::Zoom() const {
    return inner_.Zoom();
}

void MapView::ZoomIn() {
    SetZoom(LadderStep(Zoom(), 1));
}

void MapView::ZoomOut() {
    SetZoom(LadderStep(Zoom(), -1));
}

void MapView::ActualSize() {
    SetZoom(1);
}

void MapView::SetZoom(double factor, std::optional<QPointF> anchor) {
    fitting_ = false;
    const QRect frame = outer_.rect();
    Apply(std::clamp(factor, kMinZoom, kMaxZoom), anchor.value_or(QPointF(frame.center())));
}

double MapView::FitFactor() const {
    const QSize full = inner_.FullSize();
    return std::max(1e-6,
                    std::min(double(outer_.InnerWidth()) / Twips::FromPixels(full.width()),
                             double(outer_.InnerHeight()) / Twips::FromPixels(full.height())));
}

void MapView::FitMap() {
    fitting_ = true;
    const QSize full = inner_.FullSize();
    if (inner_.HasPicture() && !full.isEmpty()) {
        Apply(FitFactor(), QPointF());
        // The whole picture from the frame's top-left corner.
        ScrollTo(hBar_, 0);
        ScrollTo(vBar_, 0);
    }
    emit ZoomChanged(ZoomText(Zoom()));
}

void MapView::SetFitEach(bool on) {
    fitEach_ = on;
    if (on) FitMap();
}

void MapView::PictureChanged() {
    lineFrom_.reset();
    lineTo_.reset();
    mark_.reset();
    measuring_ = false;
    overlay_->hide();
    RefreshPosition();
    if (fitting_ || fitEach_) FitMap();
    UpdateCursor();
    emit ZoomChanged(ZoomText(Zoom()));
}

void MapView::Apply(double factor, QPointF anchor) {
    // The picture pixel under the anchor stays under it.
    const QPointF atPicture = (anchor - QPointF(inner_.pos())) / inner_.Zoom();
    inner_.setZoom(factor);
    ShowLine(); // drawn where the picture's pixels are now
    gridOverlay_->Follow();
    try {
        fitRanges_();
        const QPointF left = anchor - atPicture * factor; // where the picture's corner goes
        ScrollTo(hBar_, -Twips::FromPixels(1) * left.x());
        ScrollTo(vBar_, -Twips::FromPixels(1) * left.y());
    } catch (const std::exception&) {
        // A picture too large for the bars keeps their last ranges; it is still shown.
    }
    RefreshPosition(); // another place under the pointer
    UpdateCursor();
    emit ZoomChanged(ZoomText(factor));
}

bool MapView::Decoding() const {
    return tiled_ && tiled_->Building();
}

void MapView::ShowPicture(const std::string& native, const Picture::Probe& probe) {
    ClearPicture();
    const Picture::Source source = Picture::Open(native, probe);
    tiled_ = std::make_shared<Picture::Tiled>(source);
    note_ = QString::fromStdString(tiled_->Note());
    connect(tiled_.get(), &Picture::Tiled::Changed, &inner_, qOverload<>(&QWidget::update));
    connect(tiled_.get(), &Picture::Tiled::Built, this, &MapView::PictureDecoded);
    const QSize full = source.size;
    // At its full size from the start, so the view can place and fit it; the frame's
    // background shows where no pixels have come yet.
    inner_.setTiles(tiled_, full);
    if (fitting_ || fitEach_) inner_.setZoom(FitFactor());
    // The part the frame will show once the bars have taken the new picture's ranges, asked
    // for first and without a margin: it comes soonest so, and the window is not held up.
    const double zoom = inner_.Zoom();
    auto shown = [&](const ScrollBar& bar, double picture, double frame) {
        const double max = picture - frame; // the scroll-range rule, in pixels
        return std::clamp(bar.Value() / double(Twips::kPerPixel), std::min(0.0, max),
                          std::max(0.0, max));
    };
    const double w = full.width() * zoom, h = full.height() * zoom;
    const double fw = outer_.width(), fh = outer_.height();
    const QRectF view(shown(hBar_, w, fw) / zoom, shown(vBar_, h, fh) / zoom, fw / zoom, fh / zoom);
    tiled_->Want(view.toAlignedRect(), zoom, true);
    gridOverlay_->Follow();
}

void MapView::ClearPicture() {
    tiled_.reset(); // its work stops, its disc cache goes
    georeference_.reset();
    mark_.reset();
    note_.clear();
    inner_.ClearPicture();
    gridOverlay_->SetMap(std::nullopt);
}

void MapView::ScrollTo(ScrollBar& bar, double value) {
    const double lo = std::min(bar.Min(), bar.Max()), hi = std::max(bar.Min(), bar.Max());
    const int v = int(std::lround(std::clamp(value, lo, hi)));
    if (v != bar.Value()) bar.setValue(v); // its change handler moves the picture
}

void MapView::SetGeoreference(const std::optional<MapCode::Georeference>& georeference) {
    georeference_ = georeference;
    if (georeference)
        inner_.Scale(georeference->TopLeftLongitude(), georeference->TopLeftLatitude(),
                     georeference->BottomRightLongitude(), georeference->BottomRightLatitude());
    else
        inner_.ScaleToTwips();
    gridOverlay_->SetMap(georeference);
}

std::optional<std::pair<float, float>> MapView::LatLonAt(QPointF pixel) const {
    if (!inner_.HasPicture() || !georeference_) return std::nullopt;
    const auto [lat, lon] = georeference_->PixelCentre(int(pixel.x()), int(pixel.y()));
    return std::pair(float(lat), float(lon));
}

bool MapView::CentreOn(double latitude, double longitude) {
    if (!georeference_ || !inner_.HasPicture()) return false;
    const QPointF at(georeference_->XAt(longitude), georeference_->YAt(latitude));
    if (!std::isfinite(at.x()) || !std::isfinite(at.y())) return false;
    // Where the picture's corner goes so that the place is under the frame's centre.
    const QPointF corner = QPointF(outer_.rect().center()) - at * inner_.Zoom();
    try {
        ScrollTo(hBar_, -Twips::FromPixels(1) * corner.x());
        ScrollTo(vBar_, -Twips::FromPixels(1) * corner.y());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool MapView::MarkPlace(double latitude, double longitude) {
    mark_.reset();
    if (georeference_ && inner_.HasPicture()) {
        try {
            const QPointF at(georeference_->XAt(longitude), georeference_->YAt(latitude));
            const QSize full = inner_.FullSize();
            if (at.x() >= 0 && at.y() >= 0 && at.x() <= full.width() && at.y() <= full.height())
                mark_ = at;
        } catch (const std::exception&) {
        }
    }
    ShowLine();
    return mark_.has_value();
}

std::optional<std::pair<float, float>> MapView::PlaceAt(QPointF pointInInner) const {
    const auto pixel = inner_.PixelAt(pointInInner);
    return pixel ? LatLonAt(*pixel) : std::nullopt;
}

QString MapView::PlaceText(std::pair<float, float> place) const {
    // A coordinate beyond what the texts can hold shows nothing.
    return QString::fromStdString(
        Grids::PanelText(place.first / 60.0, place.second / 60.0, grid_, datum_));
}

void MapView::SetGrid(Grids::Grid grid, Grids::Datum datum) {
    grid_ = grid;
    datum_ = datum;
    gridOverlay_->SetGrid(grid, datum);
    RefreshPosition();
}

void MapView::SetGridLines(bool on) {
    gridOverlay_->SetOn(on);
}

bool MapView::GridLines() const {
    return gridOverlay_->On();
}

QPointF MapView::PointOfInterest() const {
    return pointer_.value_or(QPointF(outer_.rect().center())) - QPointF(inner_.pos());
}

void MapView::ShowPosition(std::optional<QPointF> pointInInner) {
    QString text;
    if (const auto here = pointInInner ? PlaceAt(*pointInInner) : std::nullopt)
        text = PlaceText(*here);
    const auto from = lineFrom_ ? LatLonAt(*lineFrom_) : std::nullopt;
    const auto to = lineTo_ ? LatLonAt(*lineTo_) : std::nullopt;
    if (from && to) {
        float bearing = 0;
        const double km = MapCode::GetDistance(from->first / 60.0, from->second / 60.0,
                                               to->first / 60.0, to->second / 60.0, bearing);
        QString line = QString::fromStdString(MapCode::DistanceText(km));
        if (km > 0) // two points apart: the direction from the first to the second
            line += "  bearing " + QString::number(std::lround(bearing) % 360) + QChar(0x00B0);
        text = text.isEmpty() ? line : text + "  " + line;
    }
    if (text != position_) {
        position_ = text;
        emit PositionChanged(text);
    }
}

void MapView::RefreshPosition() {
    if (pointer_ || (keyboardFocus_ && outer_.hasFocus()))
        ShowPosition(PointOfInterest());
    else
        ShowPosition(std::nullopt);
}

void MapView::ShowFocusFrame() {
    if (keyboardFocus_ && outer_.hasFocus()) {
        focusFrame_->setGeometry(outer_.rect());
        focusFrame_->show();
        focusFrame_->raise();
    } else {
        focusFrame_->hide();
    }
}

bool MapView::KeyPressed(const QKeyEvent& key) {
    // Ctrl and Alt keys belong to the menus.
    if (key.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) return false;
    // Within the picture's edges (a picture smaller than the frame stays where it is), or back
    // towards them from where the scroll bars put it.
    auto pan = [this](ScrollBar& bar, double by) {
        const double lo = std::min(0, bar.Value()), hi = std::max({0, bar.Max(), bar.Value()});
        ScrollTo(bar, std::clamp(bar.Value() + by, lo, hi));
    };
    const double across = outer_.InnerWidth(), down = outer_.InnerHeight();
    try {
        switch (key.key()) {
        case Qt::Key_Left:
            pan(hBar_, -across / 10);
            break;
        case Qt::Key_Right:
            pan(hBar_, across / 10);
            break;
        case Qt::Key_Up:
            pan(vBar_, -down / 10);
            break;
        case Qt::Key_Down:
            pan(vBar_, down / 10);
            break;
        case Qt::Key_PageUp:
            pan(vBar_, -down);
            break;
        case Qt::Key_PageDown:
            pan(vBar_, down);
            break;
        case Qt::Key_Home:
            pan(hBar_, -hBar_.Value());
            pan(vBar_, -vBar_.Value());
            break;
        case Qt::Key_End:
            pan(hBar_, std::max(0, hBar_.Max()) - hBar_.Value());
            pan(vBar_, std::max(0, vBar_.Max()) - vBar_.Value());
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: // + without Shift
            ZoomIn();
            break;
        case Qt::Key_Minus:
            ZoomOut();
            break;
        default:
            return false;
        }
    } catch (const std::exception&) {
    }
    keyboardFocus_ = true;
    ShowFocusFrame();
    RefreshPosition();
    return true;
}

bool MapView::Wheel(QObject* watched, const QWheelEvent& wheel) {
    const QPointF inFrame =
        watched == &inner_ ? wheel.position() + QPointF(inner_.pos()) : wheel.position();
    const QPoint turn = wheel.angleDelta();
    try {
        if (wheel.modifiers() & Qt::ShiftModifier || std::abs(turn.x()) > std::abs(turn.y())) {
            // Across, by a tenth of the frame a notch (at least the bar's small step).
            const double notches = (turn.x() != 0 ? turn.x() : turn.y()) / 120.0;
            const double step = std::max<double>(hBar_.SmallChange(), outer_.InnerWidth() / 10);
            ScrollTo(hBar_, hBar_.Value() - notches * step);
        } else if (turn.y() != 0) {
            // A rung a notch, about the pointer; parts of a notch add up, a reversal starts over.
            if ((wheelTurn_ < 0 && turn.y() > 0) || (wheelTurn_ > 0 && turn.y() < 0))
                wheelTurn_ = 0;
            wheelTurn_ += turn.y();
            const int steps = int(wheelTurn_ / 120);
            wheelTurn_ -= steps * 120;
            if (steps) SetZoom(LadderStep(Zoom(), steps), inFrame);
        }
    } catch (const std::exception&) {
    }
    return true;
}

void MapView::UpdateCursor() {
    if (panFrom_) {
        inner_.setCursor(Qt::ClosedHandCursor);
    } else if (inner_.HasPicture() &&
               (inner_.Width() > outer_.InnerWidth() || inner_.Height() > outer_.InnerHeight())) {
        inner_.setCursor(Qt::OpenHandCursor);
    } else {
        inner_.unsetCursor();
    }
}

bool MapView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) return Wheel(watched, *static_cast<QWheelEvent*>(event));
    if (watched == &outer_) return FrameEvent(*event);
    if (watched == &inner_) return PictureEvent(*event);
    return false;
}

bool MapView::FrameEvent(QEvent& event) {
    switch (event.type()) {
    case QEvent::Resize:
        // Fitted once the layout has settled: the frame is sized in several steps, and its last
        // twips may change without its pixels.
        if (fitting_ && !refitQueued_) {
            refitQueued_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    refitQueued_ = false;
                    if (fitting_) FitMap();
                },
                Qt::QueuedConnection);
        }
        focusFrame_->setGeometry(outer_.rect());
        UpdateCursor();
        break;
    case QEvent::KeyPress:
        return KeyPressed(static_cast<QKeyEvent&>(event));
    case QEvent::FocusIn: {
        // The frame shows for focus from the keyboard, not for a click.
        const Qt::FocusReason why = static_cast<QFocusEvent&>(event).reason();
        if (why == Qt::TabFocusReason || why == Qt::BacktabFocusReason ||
            why == Qt::ShortcutFocusReason)
            keyboardFocus_ = true;
        else if (why == Qt::MouseFocusReason)
            keyboardFocus_ = false;
        ShowFocusFrame();
        RefreshPosition();
        break;
    }
    case QEvent::FocusOut:
        ShowFocusFrame();
        RefreshPosition();
        break;
    default:
        break;
    }
    return false;
}

bool MapView::PictureEvent(QEvent& event) {
    if (event.type() == QEvent::Show && !framePrepared_) {
        framePrepared_ = true;
        // After the start-up's own work, with which its first touches of memory would compete.
        QTimer::singleShot(0, this, [this] {
            Picture::PrepareFrame(inner_.screen() ? inner_.screen()->size() : QSize());
        });
        return false;
    }
    switch (event.type()) {
    case QEvent::MouseButtonPress:
        MousePressed(static_cast<QMouseEvent&>(event));
        break;
    case QEvent::MouseMove:
        MouseMoved(static_cast<QMouseEvent&>(event));
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent&>(event).button() == Qt::LeftButton) {
            panFrom_.reset();
            measuring_ = false; // the line and its figure stay
        }
        break;
    case QEvent::Leave:
        pointer_.reset();
        RefreshPosition(); // a distance line's figures stay
        break;
    default:
        return false;
    }
    ShowLine();
    UpdateCursor();
    return false;
}

void MapView::MousePressed(const QMouseEvent& mouse) {
    keyboardFocus_ = false; // the pointer is back in use
    ShowFocusFrame();
    pointer_ = mouse.position() + QPointF(inner_.pos());
    if (mouse.button() != Qt::LeftButton) return;
    const auto pixel = inner_.PixelAt(mouse.position());
    if (mouse.modifiers() & Qt::ShiftModifier && pixel) {
        measuring_ = true; // a distance line from here
        lineFrom_ = lineTo_ = QPointF(*pixel);
    } else {
        lineFrom_.reset(); // a plain click ends the line and starts a pan
        lineTo_.reset();
        panFrom_ = mouse.globalPosition();
        panH_ = hBar_.Value();
        panV_ = vBar_.Value();
    }
    RefreshPosition();
}

void MapView::MouseMoved(const QMouseEvent& mouse) {
    if (panFrom_) {
        const QPointF moved = mouse.globalPosition() - *panFrom_;
        try {
            ScrollTo(hBar_, panH_ - Twips::FromPixels(1) * moved.x());
            ScrollTo(vBar_, panV_ - Twips::FromPixels(1) * moved.y());
        } catch (const std::exception&) {
        }
    } else if (measuring_) {
        if (const auto pixel = inner_.PixelAt(mouse.position())) lineTo_ = QPointF(*pixel);
    }
    pointer_ = mouse.position() + QPointF(inner_.pos());
    ShowPosition(mouse.position());
}

void MapView::ShowLine() {
    // Over the picture, drawn where its pixels' centres are now.
    auto* overlay = static_cast<LineOverlay*>(overlay_);
    overlay->line.reset();
    overlay->mark.reset();
    if (lineFrom_ && lineTo_)
        overlay->line = QLineF(inner_.PointOf(*lineFrom_), inner_.PointOf(*lineTo_));
    if (mark_) overlay->mark = inner_.PointOf(*mark_ - QPointF(0.5, 0.5)); // a place, not a pixel
    overlay->resize(inner_.size());
    if (overlay->line || overlay->mark) {
        overlay->show();
        overlay->raise();
        overlay->update();
    } else {
        overlay->hide();
    }
}
