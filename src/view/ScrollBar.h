#pragma once
// The program's model of a scroll bar over QScrollBar: Min, Max, Value, SmallChange and
// LargeChange as 32-bit integers, Max allowed below Min (the bar then runs from Min down to
// Max), and a Change signal when the value settles (not while the thumb is dragged).

#include <QScrollBar>

class ScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit ScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Value() const { return value(); }
    int SmallChange() const { return singleStep(); }
    int LargeChange() const { return pageStep(); }

    void setMin(int v);
    void setMax(int v);
    // A value outside the bar's range is refused with CoreError(InvalidArgument).
    void setValue(int v);
    // Steps below 1 are refused with CoreError(InvalidArgument).
    void setSmallChange(int v);
    void setLargeChange(int v);

signals:
    void Change();

private:
    void ApplyRange();
    int min_ = 0, max_ = 32767;
};
