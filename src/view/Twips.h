#pragma once
// Twips (1/1440 inch) are the unit of every position and size in the program's own logic. One
// logical pixel is 15 twips. A control keeps the twips it was last given, at full float
// precision, for as long as its pixel geometry is still the one those twips produced.

#include <QMargins>
#include <QRectF>
#include <optional>

class QWidget;

namespace Twips {

constexpr float kPerPixel = 15.0f;

int ToPixels(float twips);
inline float FromPixels(int pixels) {
    return static_cast<float>(pixels) * kPerPixel;
}

// Places a control (in its container's client coordinates) or a window (outer bounds, in
// screen coordinates). A negative width or height is refused: false, nothing changes.
bool Move(QWidget* widget, float left, float top, float width, float height);
// The frame the window system puts round a window now, in pixels: none for a control, or for a
// window not framed yet. Read afresh, as the frame may change after the window last moved.
QMargins Frame(const QWidget* widget);
// A window's outer bounds on the screen (a control's geometry in its container), in pixels.
QRect Outer(const QWidget* widget);
// Left, top, width and height in twips, as last set.
QRectF Rect(const QWidget* widget);
// The twips last given by Move, whether or not the control still has that geometry.
std::optional<QRectF> LastSet(const QWidget* widget);

inline float Left(const QWidget* w) {
    return static_cast<float>(Rect(w).left());
}
inline float Top(const QWidget* w) {
    return static_cast<float>(Rect(w).top());
}
inline float Width(const QWidget* w) {
    return static_cast<float>(Rect(w).width());
}
inline float Height(const QWidget* w) {
    return static_cast<float>(Rect(w).height());
}
bool SetLeft(QWidget* w, float left);
bool SetTop(QWidget* w, float top);
bool SetWidth(QWidget* w, float width);
bool SetHeight(QWidget* w, float height);

} // namespace Twips

// A control that lays out its own contents when its size changes. Move() tells it at once,
// whether or not it is visible, so nested layouts run synchronously.
class TwipsResizable {
public:
    virtual ~TwipsResizable() = default;
    virtual void TwipsResized() = 0;
};
