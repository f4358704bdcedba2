#include "view/Twips.h"

#include <QVariant>
#include <QWidget>
#include <cmath>

namespace Twips {
namespace {

constexpr const char* kTwips = "varnetTwips";
constexpr const char* kPixels = "varnetTwipsPx";

// A window's outer bounds: with its frame once the window system has given it one.
QRect PixelRect(const QWidget* w) {
    return w->isWindow() ? w->frameGeometry() : w->geometry();
}

} // namespace

int ToPixels(float twips) {
    return static_cast<int>(std::lround(twips / kPerPixel));
}

bool Move(QWidget* w, float left, float top, float width, float height) {
    if (!w || width < 0 || height < 0 || !std::isfinite(left) || !std::isfinite(top) ||
        !std::isfinite(width) || !std::isfinite(height))
        return false;
    const QRectF before = Rect(w);
    const QRect px(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
    if (w->isWindow()) {
        // Frame extras are known once the window exists on screen; until then they count 0.
        const QSize extra = w->frameGeometry().size() - w->geometry().size();
        w->move(px.topLeft());
        w->resize(std::max(0, px.width() - extra.width()),
                  std::max(0, px.height() - extra.height()));
    } else {
        w->setGeometry(px);
    }
    w->setProperty(kTwips, QRectF(left, top, width, height));
    w->setProperty(kPixels, PixelRect(w));
    if (before.width() != width || before.height() != height) {
        if (auto* r = dynamic_cast<TwipsResizable*>(w)) r->TwipsResized();
    }
    return true;
}

QRectF Rect(const QWidget* w) {
    if (!w) return {};
    const QRect px = PixelRect(w);
    const QVariant stored = w->property(kTwips);
    if (stored.isValid() && w->property(kPixels).toRect() == px) return stored.toRectF();
    return QRectF(FromPixels(px.x()), FromPixels(px.y()), FromPixels(px.width()),
                  FromPixels(px.height()));
}

std::optional<QRectF> LastSet(const QWidget* w) {
    const QVariant stored = w ? w->property(kTwips) : QVariant();
    if (!stored.isValid()) return std::nullopt;
    return stored.toRectF();
}

bool SetLeft(QWidget* w, float v) {
    const QRectF r = Rect(w);
    return Move(w, v, float(r.top()), float(r.width()), float(r.height()));
}
bool SetTop(QWidget* w, float v) {
    const QRectF r = Rect(w);
    return Move(w, float(r.left()), v, float(r.width()), float(r.height()));
}
bool SetWidth(QWidget* w, float v) {
    const QRectF r = Rect(w);
    return Move(w, float(r.left()), float(r.top()), v, float(r.height()));
}
bool SetHeight(QWidget* w, float v) {
    const QRectF r = Rect(w);
    return Move(w, float(r.left()), float(r.top()), float(r.width()), v);
}

} // namespace Twips
