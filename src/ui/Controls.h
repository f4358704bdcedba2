#pragma once
// The platform controls the windows use, with the properties the program reads and writes.

#include <QDateTime>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QString>
#include <QToolBar>
#include <QTreeWidget>
#include <QWidget>
#include <map>
#include <vector>

class QTimer;

// An image list: 16 x 16 pictures addressed by key (index 1-based), with a mask colour.
class ImageList {
public:
    ImageList(QColor maskColour, const std::vector<QString>& keys);
    QColor MaskColor() const { return mask_; }
    int Count() const { return int(keys_.size()); }
    QString Key(int index) const { return keys_.at(std::size_t(index - 1)); }
    int IndexOf(const QString& key) const;
    // The picture at 16 x 16 pixels.
    QPixmap Picture(const QString& key) const;
    // The picture as an icon, made once and shared by every node that shows it, drawn at the
    // size and screen density it is shown at.
    QIcon Icon(const QString& key) const;

private:
    QColor mask_;
    std::vector<QString> keys_;
    mutable std::vector<QPixmap> pictures_; // drawn when first asked for
    std::vector<QIcon> icons_;
};

// The tree view's nodes carry a key, a text, an image key and (for the program's own use) a
// folder. The plain click notification is Click.
class TreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TreeView(QWidget* parent = nullptr);
    const ImageList* ImageListRef = nullptr;

    // Adds a node under the node with `parentKey` ("" for the top level). A key already in use
    // or a missing parent is refused: nullptr.
    QTreeWidgetItem* AddNode(const QString& parentKey, const QString& key, const QString& text,
                             const QString& imageKey);
    QTreeWidgetItem* Node(const QString& key) const;
    // Adds a node at a place among its parent's children (the end when `index` is beyond them);
    // refused like AddNode.
    QTreeWidgetItem* InsertNode(const QString& parentKey, int index, const QString& key,
                                const QString& text, const QString& imageKey);
    // Removes a node and those under it.
    void RemoveNode(QTreeWidgetItem* node);
    // Between these, nodes added under a parent are attached to it in one step at the end:
    // thousands of nodes go in without the view reacting to each.
    void BeginBatch();
    void EndBatch();
    void ClearNodes();
    QTreeWidgetItem* SelectedItem() const;
    int NodeCount() const { return int(byKey_.size()); }

    static QString KeyOf(const QTreeWidgetItem* node);
    static QString ImageOf(const QTreeWidgetItem* node);
    void SetImage(QTreeWidgetItem* node, const QString& imageKey);
    // Makes a node visible: its ancestors are expanded, the node itself is not.
    void EnsureVisible(QTreeWidgetItem* node);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Forget(QTreeWidgetItem* node);
    QHash<QString, QTreeWidgetItem*> byKey_;
    bool pressedSelected_ = false; // the press fell on the node already selected
    bool batching_ = false;
    std::map<QTreeWidgetItem*, QList<QTreeWidgetItem*>> pending_;
};

// The status bar: a stretching text panel, the date and the time, kept up to date, then the
// map view's "Position" and "Zoom" panels (keys), each as wide as its text needs.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    QString PanelText(int panel) const; // 1-based
    void SetPanelText(int panel, const QString& text);
    int PanelCount() const { return kPanels; }
    // The panel with a key ("Position", "Zoom"), or 0 when none has it.
    static int PanelOf(const QString& key);
    // Refreshes the date and time panels now.
    void Tick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kPanels = 5;
    void LayOut();
    QLabel* panels_[kPanels];
    QTimer* clock_;
};

// The toolbar: buttons with keys; ButtonClick carries the clicked button's key.
class ToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit ToolBar(QWidget* parent = nullptr);
    const ImageList* ImageListRef = nullptr;
    QAction* AddButton(const QString& key, const QString& toolTip, const QString& imageKey);
    QAction* Button(const QString& key) const;
    int ButtonCount() const { return int(actions().size()); }

signals:
    void ButtonClick(const QString& key);
};

// A progress bar with single-precision Min, Max and Value; a value outside Min..Max is
// refused with CoreError(InvalidArgument), as the platform's control refuses it.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);
    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void setMin(float v);
    void setMax(float v);
    void setValue(float v);

private:
    void Show();
    float min_ = 0, max_ = 100, value_ = 0;
    int paintedPixels_ = -1;
    QElapsedTimer paintedAt_; // when it was last drawn at once
};

// A line control drawn between two points (twips, in its container).
class LineControl : public QWidget {
public:
    LineControl(QWidget* parent, float x1, float y1, float x2, float y2, QColor colour,
                int widthPx);
    float X1, Y1, X2, Y2;
    QColor BorderColor;
    int BorderWidth;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The common dialog control: its title, filter and cancel behaviour; the dialogs go through
// the seams of ui/Dialogs.h.
struct CommonDialog {
    QString DialogTitle;
    QString Filter;
    bool CancelError = false;
    QString FileName;
};
