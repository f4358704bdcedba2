#include "ui/Form.h"

#include "ui/Accessibility.h"
#include "ui/Placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace {
std::vector<Form*>& LoadedForms() {
    static std::vector<Form*> forms;
    return forms;
}

void Forget(Form* f) {
    auto& forms = LoadedForms();
    forms.erase(std::remove(forms.begin(), forms.end(), f), forms.end());
}

// The system's virtual key code of a key event (letters and digits as themselves).
std::int16_t KeyCodeOf(const QKeyEvent* e) {
    const int k = e->key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9))
        return std::int16_t(k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return std::int16_t(112 + (k - Qt::Key_F1));
    switch (k) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9; // Shift+Tab arrives as its own key
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    default:
        return 0;
    }
}
} // namespace

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {
    Accessibility::Install();
}

Form::~Form() {
    ::Forget(this);
    Forget();
    if (KeyPreview) qApp->removeEventFilter(this);
}

int Form::LoadedCount() {
    return static_cast<int>(LoadedForms().size());
}

Form* Form::LoadedAt(int index) {
    auto& forms = LoadedForms();
    return index >= 0 && index < int(forms.size()) ? forms[std::size_t(index)] : nullptr;
}

void Form::Define(const QString& caption, Border border, StartUp startUp, float clientWidth,
                  float clientHeight, bool controlBox, bool minMax) {
    setWindowTitle(caption);
    startUp_ = startUp;
    Qt::WindowFlags flags = Qt::Window;
    if (border == Border::None) {
        flags |= Qt::FramelessWindowHint;
    } else {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (controlBox) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (minMax) flags |= Qt::WindowMinMaxButtonsHint;
    }
    setWindowFlags(flags);
    QWidget* client = ClientArea();
    const QSize size(Twips::ToPixels(clientWidth), Twips::ToPixels(clientHeight));
    if (client == this) {
        resize(size);
    } else {
        // The client area lies below the menu bar.
        const int menu =
            layout() && layout()->menuBar() ? layout()->menuBar()->sizeHint().height() : 0;
        client->resize(size);
        resize(size.width(), size.height() + menu);
    }
    if (border == Border::FixedDialog || border == Border::FixedSingle || border == Border::None)
        setFixedSize(this->size());
    // This system's fonts run wider than the ones the layout was drawn for.
    for (QLabel* label : findChildren<QLabel*>()) FitLabel(label);
}

void Form::Load() {
    if (loaded_) return;
    loaded_ = true;
    LoadedForms().push_back(this);
    if (KeyPreview) qApp->installEventFilter(this);
    Form_Load();
}

void Form::Unload() {
    if (unloading_) return;
    std::int16_t cancel = 0;
    if (loaded_) Form_Unload(cancel);
    if (cancel) return;
    unloading_ = true;
    loaded_ = false;
    ::Forget(this);
    Forget();
    if (KeyPreview) qApp->removeEventFilter(this);
    emit Unloaded();
    hide();
    deleteLater();
    // The program ends when its last window is unloaded, however it was closed.
    if (LoadedForms().empty()) QCoreApplication::quit();
}

void Form::ShowModal(QWidget* owner) {
    owner_ = owner;
    setWindowModality(Qt::ApplicationModal);
    QPointer<Form> self(this);
    QEventLoop loop;
    connect(this, &Form::Unloaded, &loop, &QEventLoop::quit);
    show();
    // Once on screen the window's frame is known: centre it again with the frame counted.
    if (startUp_ == StartUp::CentreOwner && owner_) CentreOverOwner();
    raise();
    activateWindow();
    if (self && !unloading_) loop.exec(QEventLoop::DialogExec);
}

void Form::ShowModeless() {
    show();
}

void Form::ShowPainted() {
    paintedOnScreen_ = false;
    show();
    QTimer tick; // wakes the wait below when the window system says nothing
    tick.start(20);
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    // The window system's first exposure paints it as a rule; else it is painted here.
    if (!paintedOnScreen_) repaint();
}

void Form::PlaceWithFrame() {
    const auto set = Twips::LastSet(this);
    if (!set || startUp_ != StartUp::SystemDefault ||
        (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        return;
    // Only the bounds given before the frame came: a window the user has sized since keeps what
    // the user chose.
    const QRect px(Twips::ToPixels(float(set->left())), Twips::ToPixels(float(set->top())),
                   Twips::ToPixels(float(set->width())), Twips::ToPixels(float(set->height())));
    if (Twips::Outer(this) != px && geometry().size() == px.size())
        Twips::Move(this, float(set->left()), float(set->top()), float(set->width()),
                    float(set->height()));
}

bool Form::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint && windowHandle() && windowHandle()->isExposed())
        paintedOnScreen_ = true;
    // A window system that frames a window only once it is mapped (an X11 window manager) moves
    // it into the frame then; its first paint comes after that in any case.
    if (frameDue_ && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint) &&
        !Twips::Frame(this).isNull()) {
        frameDue_ = false;
        PlaceWithFrame();
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            KeepWithinScreen(*this);
    }
    return QWidget::event(event);
}

void Form::showEvent(QShowEvent* event) {
    if (!placedOnce_) {
        placedOnce_ = true;
        // The outer bounds set before still hold: where the frame is known once the window is
        // on screen, the window is placed again with it counted; where the window system frames
        // the window only once it is mapped, that is done when the frame comes.
        if (!Twips::Frame(this).isNull())
            PlaceWithFrame();
        else
            frameDue_ = !(windowFlags() & Qt::FramelessWindowHint);
        if (startUp_ == StartUp::CentreOwner && owner_) {
            CentreOverOwner();
        } else if (startUp_ != StartUp::SystemDefault) {
            if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
                const QRect area = s->availableGeometry();
                const QSize outer = Twips::Outer(this).size();
                move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
            }
        }
        // A window given bounds for a larger screen still opens where it can be seen.
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            KeepWithinScreen(*this);
    }
    QWidget::showEvent(event);
}

void Form::closeEvent(QCloseEvent* event) {
    if (!unloading_) Unload();
    if (unloading_)
        event->accept();
    else
        event->ignore();
}

void Form::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    if (IsEnter(event)) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            focused->click();
            return;
        }
        if (DefaultButton) {
            DefaultButton->click();
            return;
        }
    }
    if (k == Qt::Key_Escape && CancelButton) {
        CancelButton->click();
        return;
    }
    if (k == Qt::Key_Escape && EscapeCloses && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        // Once per key: the event reaches the window's widgets one after another.
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == QApplication::focusWidget() || (watched == this && !focusWidget())) {
            std::int16_t code = KeyCodeOf(key);
            std::int16_t shift = std::int16_t((key->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                                              (key->modifiers() & Qt::ControlModifier ? 2 : 0) |
                                              (key->modifiers() & Qt::AltModifier ? 4 : 0));
            Form_KeyDown(code, shift);
        }
    }
    return false; // the key goes on to the control as usual
}

bool IsEnter(const QKeyEvent* event) {
    const int k = event->key();
    return (k == Qt::Key_Return || k == Qt::Key_Enter) &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

void Place(QWidget* control, float left, float top, float width, float height, int tabIndex) {
    Twips::Move(control, left, top, width, height);
    control->setProperty("TabIndex", tabIndex);
}

void FitLabel(QLabel* label) {
    if (label->wordWrap() || label->text().isEmpty()) return;
    QRect g = label->geometry();
    auto need = [&] { return label->sizeHint().width() - g.width(); };
    if (need() <= 0) return;
    // The room beside it: up to the nearest control level with it, or the container's edge.
    int leftRoom = g.left(), rightRoom = label->parentWidget()->width() - g.right() - 1;
    for (const QWidget* other :
         label->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect o = other->geometry();
        if (other == label || other->isHidden() || o.bottom() < g.top() || o.top() > g.bottom())
            continue;
        if (o.left() > g.right()) rightRoom = std::min(rightRoom, o.left() - g.right() - 1);
        if (o.right() < g.left()) leftRoom = std::min(leftRoom, g.left() - o.right() - 1);
    }
    leftRoom = std::max(0, leftRoom);
    rightRoom = std::max(0, rightRoom);
    // Where the room is too small, the font is fitted to it.
    QFont font = label->font();
    while (need() > leftRoom + rightRoom && font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        label->setFont(font);
    }
    // It grows away from its aligned edge first: a right-aligned caption to the left.
    const int grow = std::min(need(), leftRoom + rightRoom);
    if (grow <= 0) return;
    const bool right = label->alignment() & Qt::AlignRight;
    const int toLeft = right ? std::min(grow, leftRoom) : std::max(0, grow - rightRoom);
    g.adjust(-toLeft, 0, grow - toLeft, 0);
    Twips::Move(label, Twips::FromPixels(g.left()), Twips::Top(label), Twips::FromPixels(g.width()),
                Twips::Height(label));
}

int TabIndexOf(const QWidget* control) {
    const QVariant v = control->property("TabIndex");
    return v.isValid() ? v.toInt() : -1;
}

void ApplyTabOrder(QWidget* window) {
    std::vector<QWidget*> chain;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (TabIndexOf(w) >= 0 && w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    std::stable_sort(chain.begin(), chain.end(),
                     [](QWidget* a, QWidget* b) { return TabIndexOf(a) < TabIndexOf(b); });
    for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void Form::CentreOverOwner() {
    const QRectF o = Twips::Rect(owner_);
    float w = Width(), h = Height();
    if (Twips::Frame(this).isNull()) {
        // The window system has not framed this window yet: count a frame like its owner's.
        const QMargins extra = Twips::Frame(owner_);
        w += Twips::FromPixels(extra.left() + extra.right());
        h += Twips::FromPixels(extra.top() + extra.bottom());
    }
    Move(float(o.left() + (o.width() - w) / 2), float(o.top() + (o.height() - h) / 2));
    KeepWithinScreen(*this); // an owner near the screen's edge
}
