#include "ui/Controls.h"

#include "platform/CoreError.h"
#include "ui/Pictures.h"
#include "view/Twips.h"

#include <QHeaderView>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>

ImageList::ImageList(QColor maskColour, const std::vector<QString>& keys)
    : mask_(maskColour), keys_(keys), pictures_(keys.size()) {
    for (const QString& k : keys_) icons_.push_back(PictureIcon(k));
}

QIcon ImageList::Icon(const QString& key) const {
    const int i = IndexOf(key);
    return i ? icons_[std::size_t(i - 1)] : QIcon();
}

int ImageList::IndexOf(const QString& key) const {
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return int(i) + 1;
    return 0;
}

QPixmap ImageList::Picture(const QString& key) const {
    const int i = IndexOf(key);
    if (!i) return QPixmap();
    // Drawn when first asked for: most are never asked for, and drawing them all would hold the
    // main window's start up.
    QPixmap& picture = pictures_[std::size_t(i - 1)];
    if (picture.isNull()) picture = DrawPicture(key);
    return picture;
}

namespace {
constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

// A node tells a screen reader what its tooltip tells the pointer (why a red cross has no
// picture), since its icon says nothing to one.
class DescribedNode : public QTreeWidgetItem {
public:
    QVariant data(int column, int role) const override {
        return QTreeWidgetItem::data(column, role == Qt::AccessibleDescriptionRole ? Qt::ToolTipRole
                                                                                   : role);
    }
};
} // namespace

TreeView::TreeView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true); // a library of many thousands of maps scrolls smoothly
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // The click notification, once per click: a changed selection (by the mouse, the keys or
    // the program), or a click on the node that was already selected.
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { emit Click(); });
    connect(this, &QTreeWidget::itemClicked, this, [this] {
        if (pressedSelected_) emit Click();
        pressedSelected_ = false;
    });
}

void TreeView::mousePressEvent(QMouseEvent* event) {
    const QTreeWidgetItem* under = itemAt(event->position().toPoint());
    pressedSelected_ = under && under->isSelected();
    QTreeWidget::mousePressEvent(event);
}

void TreeView::BeginBatch() {
    batching_ = true;
}

void TreeView::EndBatch() {
    batching_ = false;
    for (auto& [parent, children] : pending_) parent->addChildren(children);
    pending_.clear();
}

QTreeWidgetItem* TreeView::AddNode(const QString& parentKey, const QString& key,
                                   const QString& text, const QString& imageKey) {
    if (byKey_.contains(key)) return nullptr;
    QTreeWidgetItem* parent = nullptr;
    if (!parentKey.isEmpty()) {
        parent = Node(parentKey);
        if (!parent) return nullptr;
    }
    auto* node = new DescribedNode();
    node->setData(0, Qt::DisplayRole, text);
    if (key != text) node->setData(0, kKeyRole, key); // most nodes' keys are their texts
    SetImage(node, imageKey);
    if (parent && batching_)
        pending_[parent].append(node); // attached all at once by EndBatch
    else if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    byKey_.insert(key, node);
    return node;
}

QTreeWidgetItem* TreeView::Node(const QString& key) const {
    return byKey_.value(key, nullptr);
}

QTreeWidgetItem* TreeView::InsertNode(const QString& parentKey, int index, const QString& key,
                                      const QString& text, const QString& imageKey) {
    QTreeWidgetItem* parent = Node(parentKey);
    if (!parent || byKey_.contains(key)) return nullptr;
    auto* node = new DescribedNode();
    node->setData(0, Qt::DisplayRole, text);
    if (key != text) node->setData(0, kKeyRole, key);
    SetImage(node, imageKey);
    parent->insertChild(std::clamp(index, 0, parent->childCount()), node);
    byKey_.insert(key, node);
    return node;
}

void TreeView::Forget(QTreeWidgetItem* node) {
    for (int i = 0; i < node->childCount(); ++i) Forget(node->child(i));
    byKey_.remove(KeyOf(node));
}

void TreeView::RemoveNode(QTreeWidgetItem* node) {
    Forget(node);
    delete node; // taken from its parent by its destructor
}

void TreeView::ClearNodes() {
    for (auto& [parent, children] : pending_) qDeleteAll(children);
    pending_.clear();
    byKey_.clear();
    clear();
}

QTreeWidgetItem* TreeView::SelectedItem() const {
    const auto items = selectedItems();
    return items.isEmpty() ? nullptr : items.constFirst();
}

QString TreeView::KeyOf(const QTreeWidgetItem* node) {
    const QVariant key = node->data(0, kKeyRole);
    return key.isValid() ? key.toString() : node->text(0);
}
QString TreeView::ImageOf(const QTreeWidgetItem* node) {
    return node->data(0, kImageRole).toString();
}

void TreeView::SetImage(QTreeWidgetItem* node, const QString& imageKey) {
    node->setData(0, kImageRole, imageKey);
    if (ImageListRef) node->setIcon(0, ImageListRef->Icon(imageKey));
}

void TreeView::EnsureVisible(QTreeWidgetItem* node) {
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) p->setExpanded(true);
}

StatusBar::StatusBar(QWidget* parent) : QWidget(parent), clock_(new QTimer(this)) {
    // What each panel shows, for a screen reader that reads a panel's text alone.
    const char* const what[kPanels] = {"Status", "Date", "Time", "Position", "Zoom"};
    for (int i = 0; i < kPanels; ++i) {
        QLabel*& p = panels_[i];
        p = new QLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setContentsMargins(3, 0, 3, 0);
        p->setAccessibleDescription(what[i]);
    }
    panels_[0]->setText("Status");
    connect(clock_, &QTimer::timeout, this, &StatusBar::Tick);
    clock_->start(1000);
    Tick();
}

QString StatusBar::PanelText(int panel) const {
    return panels_[panel - 1]->text();
}

void StatusBar::SetPanelText(int panel, const QString& text) {
    panels_[panel - 1]->setText(text);
    if (panel > 3) LayOut(); // the map view's panels take the width their text needs
}

int StatusBar::PanelOf(const QString& key) {
    return key == "Position" ? 4 : key == "Zoom" ? 5 : 0;
}

void StatusBar::Tick() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    panels_[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    panels_[2]->setText(locale.toString(now.time(), QLocale::ShortFormat));
    LayOut();
}

void StatusBar::resizeEvent(QResizeEvent*) {
    LayOut();
}

void StatusBar::LayOut() {
    // Panels 2 and 3 as wide as their text (at least an inch), 4 and 5 as wide as theirs (none
    // while empty); panel 1 takes the rest.
    const int inch = Twips::ToPixels(1440);
    auto fitted = [&](int i, int least) {
        return panels_[i]->text().isEmpty() ? 0 : std::max(least, panels_[i]->sizeHint().width());
    };
    const int w2 = std::max(inch, panels_[1]->sizeHint().width());
    const int w3 = std::max(inch, panels_[2]->sizeHint().width());
    const int w4 = fitted(3, 0), w5 = fitted(4, inch / 2);
    const int w1 = std::max(inch, width() - w2 - w3 - w4 - w5);
    const int widths[kPanels] = {w1, w2, w3, w4, w5};
    int x = 0;
    for (int i = 0; i < kPanels; ++i) {
        panels_[i]->setGeometry(x, 0, widths[i], height());
        panels_[i]->setVisible(widths[i] > 0);
        x += widths[i];
    }
}

ToolBar::ToolBar(QWidget* parent) : QToolBar(parent) {
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolBar::actionTriggered, this,
            [this](QAction* a) { emit ButtonClick(a->data().toString()); });
}

QAction* ToolBar::AddButton(const QString& key, const QString& toolTip, const QString& imageKey) {
    QAction* a = addAction(ImageListRef ? ImageListRef->Icon(imageKey) : QIcon(), QString());
    a->setData(key);
    a->setToolTip(toolTip);
    a->setObjectName(key);
    if (auto* b = qobject_cast<QToolButton*>(widgetForAction(a)))
        b->setFixedSize(Twips::ToPixels(345), Twips::ToPixels(330));
    return a;
}

QAction* ToolBar::Button(const QString& key) const {
    for (QAction* a : actions())
        if (a->data().toString() == key) return a;
    return nullptr;
}

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    QProgressBar::setRange(0, 10000);
    Show();
}

void ProgressBar::setMin(float v) {
    if (v > max_ || value_ < v)
        throw CoreError(ErrorKind::InvalidArgument, "Invalid property value");
    min_ = v;
    Show();
}

void ProgressBar::setMax(float v) {
    if (v < min_ || value_ > v)
        throw CoreError(ErrorKind::InvalidArgument, "Invalid property value");
    max_ = v;
    Show();
}

void ProgressBar::setValue(float v) {
    if (!(v >= min_ && v <= max_))
        throw CoreError(ErrorKind::InvalidArgument, "Invalid property value");
    value_ = v;
    Show();
}

void ProgressBar::Show() {
    // The fill runs with no events processed: the bar is drawn at once, as the system's bar
    // draws itself, but only when its filled part moves by a pixel, and at most 30 times a
    // second (a move in between is drawn with the next, or when events are next handled).
    const float span = max_ - min_;
    const float fraction = span > 0 ? (value_ - min_) / span : 0;
    const int pixels = int(float(std::max(width(), 1)) * fraction);
    if (pixels == paintedPixels_) return;
    paintedPixels_ = pixels;
    QProgressBar::setValue(int(fraction * 10000.0f));
    if (!isVisible()) return;
    constexpr qint64 kFrame = 1'000'000'000 / 30; // nanoseconds
    if (paintedAt_.isValid() && paintedAt_.nsecsElapsed() < kFrame) return update();
    paintedAt_.start();
    repaint();
}

LineControl::LineControl(QWidget* parent, float x1, float y1, float x2, float y2, QColor colour,
                         int widthPx)
    : QWidget(parent), X1(x1), Y1(y1), X2(x2), Y2(y2), BorderColor(colour), BorderWidth(widthPx) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const float left = std::min(x1, x2), top = std::min(y1, y2);
    Twips::Move(this, left, top, std::abs(x2 - x1) + Twips::kPerPixel * widthPx,
                std::abs(y2 - y1) + Twips::kPerPixel * widthPx);
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QPen pen(BorderColor);
    pen.setWidth(BorderWidth);
    p.setPen(pen);
    const float left = std::min(X1, X2), top = std::min(Y1, Y2);
    const QPointF a((X1 - left) / Twips::kPerPixel, (Y1 - top) / Twips::kPerPixel);
    const QPointF b((X2 - left) / Twips::kPerPixel, (Y2 - top) / Twips::kPerPixel);
    p.drawLine(a, b);
}
