#include "view/Twips.h"

#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace Twips {
namespace {

constexpr const char* kTwips = "varnetTwips";
constexpr const char* kPixels = "varnetTwipsPx";

} // namespace

QMargins Frame(const QWidget* w) {
    // The window system's own record: a widget's is brought up to date only when the window
    // moves or is resized, and a window manager may change the frame after that.
    const QWindow* handle = w->isWindow() ? w->windowHandle() : nullptr;
    return handle ? handle->frameMargins() : QMargins();
}

QRect Outer(const QWidget* w) {
    return w->geometry().marginsAdded(Frame(w));
}

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
        const QMargins frame = Frame(w);
        w->move(px.topLeft());
        w->resize(std::max(0, px.width() - frame.left() - frame.right()),
                  std::max(0, px.height() - frame.top() - frame.bottom()));
    } else {
        w->setGeometry(px);
    }
    w->setProperty(kTwips, QRectF(left, top, width, height));
    // A window keeps its twips while its outer bounds are the ones they give: until the window
    // system frames it, and again once it is placed with its frame counted.
    w->setProperty(kPixels, w->isWindow() ? px : w->geometry());
    if (before.width() != width || before.height() != height) {
        if (auto* r = dynamic_cast<TwipsResizable*>(w)) r->TwipsResized();
    }
    return true;
}

QRectF Rect(const QWidget* w) {
    if (!w) return {};
    const QRect px = Outer(w);
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
