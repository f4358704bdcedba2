#include "view/Splitter.h"

#include "mapdef/Numbers.h"
#include "platform/CoreError.h"
#include "platform/Text.h"

#include <cmath>

std::string PropertyBag::Key(const std::string& name) {
    return Platform::Upper(name);
}

void PropertyBag::Write(const std::string& name, const QVariant& value,
                        const QVariant& defaultValue) {
    if (value.toLongLong() == defaultValue.toLongLong()) { // the store omits defaults
        values_.erase(Key(name));
        return;
    }
    values_[Key(name)] = value;
}

QVariant PropertyBag::Read(const std::string& name, const QVariant& defaultValue) const {
    auto it = values_.find(Key(name));
    return it == values_.end() ? defaultValue : it->second;
}

bool PropertyBag::Has(const std::string& name) const {
    return values_.count(Key(name)) > 0;
}

Splitter::Splitter(QWidget* parent) : QWidget(parent), SplitterBar(new PictureBox(this)) {
    SplitterBar->setObjectName("SplitterBar");
    SplitterBar->setBorderStyle(0);
    Twips::Move(SplitterBar, 0, 0, 135, 2130);
    connect(SplitterBar, &PictureBox::MouseDown, this, &Splitter::SplitterBar_MouseDown);
    connect(SplitterBar, &PictureBox::MouseMove, this, &Splitter::SplitterBar_MouseMove);
    connect(SplitterBar, &PictureBox::MouseUp, this, &Splitter::SplitterBar_MouseUp);
}

void Splitter::InitProperties() {
    setOrientation(0);
    setSplitPercent(50);
    setSplitterWidth(50);
    Twips::SetWidth(SplitterBar, SplitterWidth());
}

namespace {
// A stored value as a whole number of the given range, or nothing when it does not convert.
std::optional<long long> StoredInteger(const QVariant& v, long long lo, long long hi) {
    try {
        double d;
        if (v.typeId() == QMetaType::QString)
            d = MapCode::StrictNumber(v.toString().toStdString());
        else if (bool ok = false; d = v.toDouble(&ok), !ok)
            return std::nullopt;
        const double r = std::nearbyint(d);
        if (r < double(lo) || r > double(hi)) return std::nullopt;
        return static_cast<long long>(r);
    } catch (...) {
        return std::nullopt;
    }
}
} // namespace

void Splitter::ReadProperties(const PropertyBag& bag) {
    // A value that is missing or does not convert leaves its property as it was.
    if (auto v = StoredInteger(bag.Read("Orientation", 0), INT32_MIN, INT32_MAX))
        setOrientation(static_cast<std::int32_t>(*v));
    if (auto v = StoredInteger(bag.Read("SplitPercent", 50), 0, 255))
        setSplitPercent(static_cast<std::uint8_t>(*v));
    if (auto v = StoredInteger(bag.Read("SplitterWidth", 80), 0, 255))
        setSplitterWidth(static_cast<std::uint8_t>(*v));
}

void Splitter::WriteProperties(PropertyBag& bag) const {
    bag.Write("Orientation", Orientation(), 0);
    bag.Write("SplitPercent", SplitPercent(), 50);
    bag.Write("SplitterWidth", SplitterWidth(), 80);
}

void Splitter::setOrientation(std::int32_t val) {
    stacked_ = val != 0;
    SplitterBar->setMousePointer(stacked_ ? 7 : 9);
    UserControl_Resize();
}

void Splitter::setChild1(QWidget* ctl) {
    child1_ = ctl;
    UserControl_Resize();
}

void Splitter::setChild2(QWidget* ctl) {
    child2_ = ctl;
    UserControl_Resize();
}

std::uint8_t Splitter::SplitPercent() const {
    const double r = std::nearbyint(double(split_) * 100);
    if (r < 0 || r > 255) throw CoreError(ErrorKind::Overflow, "Overflow");
    return static_cast<std::uint8_t>(r);
}

void Splitter::setSplitPercent(std::uint8_t val) {
    split_ = static_cast<float>(val) / 100.0f;
    UserControl_Resize();
}

void Splitter::UserControl_Resize() {
    // Every step that fails (a pane not set, a size a pane refuses) is skipped.
    const float W = Twips::Width(this), H = Twips::Height(this);
    const float SW = barWidth_;
    if (stacked_) {
        const float a = (H - SW) * split_, b = (H - SW) * (1 - split_);
        if (child1_) Twips::Move(child1_, 0, 0, W, a);
        if (child2_) Twips::Move(child2_, 0, a + SW, W, b);
        Twips::Move(SplitterBar, 0, a, W, SW);
    } else {
        const float a = (W - SW) * split_, b = (W - SW) * (1 - split_);
        if (child1_) Twips::Move(child1_, 0, 0, a, H);
        if (child2_) Twips::Move(child2_, a + SW, 0, b, H);
        Twips::Move(SplitterBar, a, 0, SW, H);
    }
    if (child1_) child1_->update();
    if (child2_) child2_->update();
    emit Resize();
}

void Splitter::UserControl_Paint() {
    SplitterBar->setBackColor(barColor_ == 0 ? kButtonFace : barColor_);
}

void Splitter::paintEvent(QPaintEvent*) {
    UserControl_Paint();
}

void Splitter::SplitterBar_MouseDown(int, int, float, float) {
    SplitterBar->setBackColor(barColor_); // as stored: 0 shows black while pressed
    SplitterBar->raise();
}

void Splitter::SplitterBar_MouseMove(int button, int, float x, float y) {
    if (button != 1) return; // exactly the left button
    const float SW = barWidth_;
    // The bar's far edge follows the pointer; the panes wait for the release.
    if (stacked_) {
        const float t = Twips::Top(SplitterBar) + y - SW;
        split_ = t / Twips::Height(this);
        Twips::Move(SplitterBar, 0, t, Twips::Width(SplitterBar), Twips::Height(SplitterBar));
    } else {
        const float l = Twips::Left(SplitterBar) + x - SW;
        split_ = l / Twips::Width(this);
        Twips::SetLeft(SplitterBar, l);
    }
    if (!(split_ >= 0.001f)) split_ = 0.001f;
    if (split_ > 0.999f) split_ = 0.999f;
}

void Splitter::SplitterBar_MouseUp(int, int, float, float) {
    SplitterBar->setBackColor(barColor_);
    UserControl_Resize();
}
