#include "view/MapView.h"

#include "mapdef/MapCode.h"
#include "platform/CoreError.h"
#include "platform/Text.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

// The ladder's rungs are counted in square roots of 2 from 1: 1/32 is -10, 16 is 8.
constexpr int kLowestRung = -10, kHighestRung = 8;

// Drawn over the picture: the distance line, if any.
class LineOverlay : public QWidget {
public:
    explicit LineOverlay(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    std::optional<QLineF> line;

protected:
    void paintEvent(QPaintEvent*) override {
        if (!line) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(220, 0, 0), 2));
        p.drawLine(*line);
        p.setBrush(QColor(220, 0, 0));
        p.drawEllipse(line->p1(), 3, 3);
    }
};

} // namespace

MapView::MapView(PictureBox& inner, PictureBox& outer, ScrollBar& hBar, ScrollBar& vBar,
                 std::function<void()> fitRanges, QObject* parent)
    : QObject(parent), inner_(inner), outer_(outer), hBar_(hBar), vBar_(vBar),
      fitRanges_(std::move(fitRanges)), overlay_(new LineOverlay(&inner)) {
    inner_.setMouseTracking(true); // the position follows the pointer without a button held
    inner_.installEventFilter(this);
    outer_.installEventFilter(this);
    Picture::Prepare(); // the decoding processes ready before the first map is chosen
    overlay_->hide();
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

void MapView::PictureChanged() {
    lineFrom_.reset();
    lineTo_.reset();
    measuring_ = false;
    overlay_->hide();
    if (fitting_) FitMap();
    UpdateCursor();
    emit ZoomChanged(ZoomText(Zoom()));
}

void MapView::Apply(double factor, QPointF anchor) {
    // The picture pixel under the anchor stays under it.
    const QPointF atPicture = (anchor - QPointF(inner_.pos())) / inner_.Zoom();
    inner_.setZoom(factor);
    overlay_->resize(inner_.size());
    try {
        fitRanges_();
        const QPointF left = anchor - atPicture * factor; // where the picture's corner goes
        ScrollTo(hBar_, -Twips::FromPixels(1) * left.x());
        ScrollTo(vBar_, -Twips::FromPixels(1) * left.y());
    } catch (const std::exception&) {
        // A picture too large for the bars keeps their last ranges; it is still shown.
    }
    if (lineFrom_) ShowPosition(std::nullopt);
    UpdateCursor();
    emit ZoomChanged(ZoomText(factor));
}

bool MapView::Decoding() const {
    return tiled_ && tiled_->Building();
}

void MapView::ShowPicture(const std::string& winPath) {
    ClearPicture();
    const Picture::Source source = Picture::Open(winPath);
    tiled_ = std::make_shared<Picture::Tiled>(source);
    note_ = QString::fromStdString(tiled_->Note());
    connect(tiled_.get(), &Picture::Tiled::Changed, &inner_, qOverload<>(&QWidget::update));
    connect(tiled_.get(), &Picture::Tiled::Built, this, &MapView::PictureDecoded);
    const QSize full = source.size;
    // At its full size from the start, so the view can place and fit it; the frame's
    // background shows where no pixels have come yet.
    inner_.setTiles(tiled_, full);
    if (fitting_) inner_.setZoom(FitFactor());
    // The part the frame will show once the bars have taken the new picture's ranges: waited
    // for a moment, so that a small picture, or the first screen of a large one, shows at once.
    const double zoom = inner_.Zoom();
    auto shown = [&](const ScrollBar& bar, double picture, double frame) {
        const double max = picture - frame; // the scroll-range rule, in pixels
        return std::clamp(bar.Value() / double(Twips::kPerPixel), std::min(0.0, max),
                          std::max(0.0, max));
    };
    const double w = full.width() * zoom, h = full.height() * zoom;
    const double fw = outer_.width(), fh = outer_.height();
    const QRectF view(shown(hBar_, w, fw) / zoom, shown(vBar_, h, fh) / zoom, fw / zoom, fh / zoom);
    constexpr int kAtOnceMs = 60;
    tiled_->Want(view.toAlignedRect(), zoom, kAtOnceMs);
}

void MapView::ClearPicture() {
    tiled_.reset(); // its work stops, its disc cache goes
    georeference_.reset();
    note_.clear();
    inner_.ClearPicture();
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

std::optional<std::pair<float, float>> MapView::PlaceAt(QPointF pointInInner) const {
    const auto pixel = inner_.PixelAt(pointInInner);
    return pixel ? LatLonAt(*pixel) : std::nullopt;
}

void MapView::ShowPosition(std::optional<QPointF> pointInInner) {
    QString text;
    const auto pixel = pointInInner ? inner_.PixelAt(*pointInInner) : std::nullopt;
    const auto here = pixel ? LatLonAt(*pixel) : std::nullopt;
    try {
        if (here) {
            text = QString::fromStdString(
                Platform::Cp1252ToUtf8(MapCode::PositionText(here->first, here->second)));
            const auto from = lineFrom_ ? LatLonAt(*lineFrom_) : std::nullopt;
            const auto to = lineTo_ ? LatLonAt(*lineTo_) : std::nullopt;
            if (from && to) {
                float bearing = 0;
                const double km =
                    MapCode::GetDistance(from->first / 60.0, from->second / 60.0, to->first / 60.0,
                                         to->second / 60.0, bearing);
                text += "  " + QString::fromStdString(MapCode::DistanceText(km));
            }
        }
    } catch (const std::exception&) {
        text.clear(); // a coordinate beyond what the texts can hold shows nothing
    }
    if (text != position_) {
        position_ = text;
        emit PositionChanged(text);
    }
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
    if (watched == &outer_ && event->type() == QEvent::Resize) {
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
        UpdateCursor();
        return false;
    }
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPointF inFrame = watched == &inner_
                                    ? QPointF(inner_.mapTo(&outer_, wheel->position().toPoint()))
                                    : wheel->position();
        const double notches = wheel->angleDelta().y() / 120.0;
        if (notches == 0 && wheel->angleDelta().x() == 0) return true;
        try {
            if (wheel->modifiers() & Qt::ControlModifier) {
                const int steps = notches > 0 ? 1 : notches < 0 ? -1 : 0;
                if (steps) SetZoom(LadderStep(Zoom(), steps), inFrame);
            } else {
                const bool across =
                    wheel->modifiers() & Qt::ShiftModifier || wheel->angleDelta().x() != 0;
                ScrollBar& bar = across ? hBar_ : vBar_;
                const double frame = across ? outer_.InnerWidth() : outer_.InnerHeight();
                const double turn = across && wheel->angleDelta().x() != 0
                                        ? wheel->angleDelta().x() / 120.0
                                        : notches;
                // A notch moves a tenth of the frame (at least the bar's small step).
                ScrollTo(bar, bar.Value() - turn * std::max<double>(bar.SmallChange(), frame / 10));
            }
        } catch (const std::exception&) {
        }
        return true;
    }
    if (watched != &inner_) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        const auto pixel = inner_.PixelAt(mouse->position());
        if (mouse->modifiers() & Qt::ShiftModifier && pixel) {
            measuring_ = true; // a distance line from here
            lineFrom_ = lineTo_ = QPointF(*pixel);
        } else {
            lineFrom_.reset(); // a plain click ends the line and starts a pan
            lineTo_.reset();
            panFrom_ = mouse->globalPosition();
            panH_ = hBar_.Value();
            panV_ = vBar_.Value();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (panFrom_) {
            const QPointF moved = mouse->globalPosition() - *panFrom_;
            try {
                ScrollTo(hBar_, panH_ - Twips::FromPixels(1) * moved.x());
                ScrollTo(vBar_, panV_ - Twips::FromPixels(1) * moved.y());
            } catch (const std::exception&) {
            }
        } else if (measuring_) {
            if (const auto pixel = inner_.PixelAt(mouse->position())) lineTo_ = QPointF(*pixel);
        }
        ShowPosition(mouse->position());
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            panFrom_.reset();
            measuring_ = false; // the line and its figure stay
        }
        break;
    case QEvent::Leave:
        ShowPosition(std::nullopt);
        break;
    default:
        return false;
    }
    // The line over the picture, drawn where its pixels' centres are now.
    if (lineFrom_ && lineTo_) {
        auto* overlay = static_cast<LineOverlay*>(overlay_);
        overlay->line = QLineF(inner_.PointOf(*lineFrom_), inner_.PointOf(*lineTo_));
        overlay->resize(inner_.size());
        overlay->show();
        overlay->raise();
        overlay->update();
    } else {
        overlay_->hide();
    }
    UpdateCursor();
    return false;
}
