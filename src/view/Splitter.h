#pragma once
// Splitter: a container that divides its area between two panes, side by side (Orientation 0)
// or stacked (Orientation -1), with a bar between them that the mouse drags. Any QWidget can be
// a pane: the splitter only moves it (in twips) and repaints it.

#include "view/PictureBox.h"
#include "view/Twips.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>

// The stored values of a control as a designer keeps them: names match without regard to case.
class PropertyBag {
public:
    void Write(const std::string& name, const QVariant& value, const QVariant& defaultValue);
    QVariant Read(const std::string& name, const QVariant& defaultValue) const;
    bool Has(const std::string& name) const;
    std::size_t Size() const { return values_.size(); }

private:
    static std::string Key(const std::string& name);
    std::map<std::string, QVariant> values_;
};

class Splitter : public QWidget, public TwipsResizable {
    Q_OBJECT
public:
    explicit Splitter(QWidget* parent = nullptr);

    // Creation: a new instance in a designer, or one with stored values.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    std::int32_t Orientation() const { return stacked_ ? -1 : 0; }
    void setOrientation(std::int32_t val);
    QWidget* Child1() const { return child1_; }
    void setChild1(QWidget* ctl);
    QWidget* Child2() const { return child2_; }
    void setChild2(QWidget* ctl);
    // The share of the free length given to Child1, in per cent (rounded half to even).
    std::uint8_t SplitPercent() const;
    void setSplitPercent(std::uint8_t val);
    float SplitFraction() const { return split_; }
    std::uint8_t SplitterWidth() const { return barWidth_; }
    void setSplitterWidth(std::uint8_t val) { barWidth_ = val; } // takes effect at the next layout
    std::uint32_t SplitterColor() const { return barColor_; }
    void setSplitterColor(std::uint32_t val) { barColor_ = val; }

    PictureBox* const SplitterBar;

    // The layout, run when the control is resized and by the setters.
    void UserControl_Resize();
    void UserControl_Paint();
    // The drag of the bar; buttons and shift in the program's codes, x and y in twips inside
    // the bar.
    void SplitterBar_MouseDown(int button, int shift, float x, float y);
    void SplitterBar_MouseMove(int button, int shift, float x, float y);
    void SplitterBar_MouseUp(int button, int shift, float x, float y);

    void TwipsResized() override { UserControl_Resize(); }

signals:
    void Resize();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool stacked_ = false;
    QPointer<QWidget> child1_, child2_;
    float split_ = 0.5f;
    std::uint8_t barWidth_ = 80;
    std::uint32_t barColor_ = 0;
};
