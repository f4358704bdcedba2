#include "view/ScrollBar.h"

#include "platform/CoreError.h"

#include <algorithm>

namespace {
[[noreturn]] void Invalid() {
    throw CoreError(ErrorKind::InvalidArgument, "Invalid property value");
}
} // namespace

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {
    setTracking(false); // the image moves when the value settles
    QScrollBar::setSingleStep(1);
    QScrollBar::setPageStep(10);
    ApplyRange();
    connect(this, &QAbstractSlider::valueChanged, this, &ScrollBar::Change);
}

void ScrollBar::ApplyRange() {
    // Qt needs minimum <= maximum; a bar whose Max lies below Min runs the other way.
    const bool reversed = max_ < min_;
    setInvertedAppearance(reversed);
    setInvertedControls(!reversed);
    setRange(std::min(min_, max_), std::max(min_, max_)); // a value outside moves in: Change
}

void ScrollBar::setMin(int v) {
    min_ = v;
    ApplyRange();
}

void ScrollBar::setMax(int v) {
    max_ = v;
    ApplyRange();
}

void ScrollBar::setValue(int v) {
    if (v < std::min(min_, max_) || v > std::max(min_, max_)) Invalid();
    QScrollBar::setValue(v);
}

void ScrollBar::setSmallChange(int v) {
    if (v < 1) Invalid();
    setSingleStep(v);
}

void ScrollBar::setLargeChange(int v) {
    if (v < 1) Invalid();
    setPageStep(v);
}
