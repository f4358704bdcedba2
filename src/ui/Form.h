#pragma once
// A window of the program. Each window class has one program-wide instance, created and loaded
// on first use (T::Instance()) and destroyed when unloaded; the program keeps its loaded windows
// in the order they were loaded. Geometry is in twips: Left/Top/Width/Height are the outer
// bounds on the screen, ScaleWidth/ScaleHeight the client area.

#include "view/Twips.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <utility>

class QPushButton;

class Form : public QWidget {
    Q_OBJECT
public:
    enum class StartUp { SystemDefault, CentreScreen, CentreOwner };
    enum class Border { Sizable, FixedSingle, FixedDialog, None };

    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // Loads the window: it joins the list of loaded windows and its Form_Load runs.
    void Load();
    // Unloads it: Form_Unload runs (and may cancel), then the window closes and is destroyed.
    void Unload();
    bool IsLoaded() const { return loaded_; }
    // Shows the window modally (the caller continues once it has been unloaded), or modeless.
    void ShowModal(QWidget* owner = nullptr);
    void ShowModeless();
    // Shows the window modeless and paints it before returning, once the window system has put
    // it on screen (a second at most, taking no user input meanwhile): for a window shown while
    // work holds the event loop up.
    void ShowPainted();

    float Left() const { return Twips::Left(this); }
    float Top() const { return Twips::Top(this); }
    float Width() const { return Twips::Width(this); }
    float Height() const { return Twips::Height(this); }
    void Move(float left, float top, float width, float height) {
        Twips::Move(this, left, top, width, height);
    }
    void Move(float left, float top) { Move(left, top, Width(), Height()); }
    float ScaleWidth() const { return Twips::Width(ClientArea()); }
    float ScaleHeight() const { return Twips::Height(ClientArea()); }
    bool Minimized() const { return windowState() & Qt::WindowMinimized; }

    // The client area: the window itself, or the part below a menu bar.
    virtual QWidget* ClientArea() const { return const_cast<Form*>(this); }

    // Enter presses the default button unless another button has the focus; Esc presses the
    // cancel button, or closes a window that has none when EscapeCloses is set.
    QPushButton* DefaultButton = nullptr;
    QPushButton* CancelButton = nullptr;
    bool EscapeCloses = false;
    // Keys reach Form_KeyDown before the window's controls.
    bool KeyPreview = false;

    virtual void Form_Load() {}
    virtual void Form_Unload(std::int16_t& Cancel) { (void)Cancel; }
    virtual void Form_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift) {
        (void)KeyCode;
        (void)Shift;
    }

    // The windows now loaded, in the order they were loaded.
    static int LoadedCount();
    static Form* LoadedAt(int index);

signals:
    void Unloaded();

protected:
    // Sets caption, border, start-up position and client size (twips).
    void Define(const QString& caption, Border border, StartUp startUp, float clientWidth,
                float clientHeight, bool controlBox = true, bool minMax = false);
    // The program-wide instance of the window's class forgets this window.
    virtual void Forget() {}
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void CentreOverOwner();
    // Gives a window placed before the window system framed it its outer bounds again, with
    // the frame counted.
    void PlaceWithFrame();
    bool loaded_ = false;
    bool unloading_ = false;
    bool placedOnce_ = false;
    // Shown before its frame was known: placed again once the window system has framed it.
    bool frameDue_ = false;
    // Painted while on screen since ShowPainted showed it.
    bool paintedOnScreen_ = false;
    StartUp startUp_ = StartUp::SystemDefault;
    QPointer<QWidget> owner_;
};

// The one program-wide instance of a window class.
template <class T> class FormOf : public Form {
public:
    using Form::Form;
    ~FormOf() override {
        if (instance_ == this) instance_ = nullptr;
    }
    static T& Instance() {
        if (!instance_) {
            instance_ = new T();
            instance_->Load();
        }
        return *instance_;
    }
    static bool Loaded() { return instance_ != nullptr; }

protected:
    // Makes the instance without loading it, from the arguments its constructor takes (the
    // entry routine hands the main window its model and stores its reference before its load
    // runs). The instance there already is returned as it is.
    template <class... Args> static T& Create(Args&&... args) {
        if (!instance_) instance_ = new T(std::forward<Args>(args)...);
        return *instance_;
    }
    void Forget() override {
        if (instance_ == this) instance_ = nullptr;
    }

private:
    static inline T* instance_ = nullptr;
};

// Enter or Return, from either part of the keyboard, without Shift, Ctrl or Alt.
bool IsEnter(const class QKeyEvent* event);
// Places a control of a window at its design geometry (twips) with its tab position.
void Place(QWidget* control, float left, float top, float width, float height, int tabIndex = -1);
// Creates a control of a window: named, placed at its design geometry, with its tab position.
// The arguments before the parent are the control's own (a caption, an orientation).
template <class T, class... Args>
T* Control(QWidget* parent, const char* name, float left, float top, float width, float height,
           int tabIndex, Args&&... args) {
    auto* control = new T(std::forward<Args>(args)..., parent);
    control->setObjectName(name);
    Place(control, left, top, width, height, tabIndex);
    return control;
}
// A one-line label whose caption is wider than the label grows to show it whole, into the room
// beside it (away from its aligned edge first); where there is not room enough, its font is
// made smaller until the caption fits.
void FitLabel(class QLabel* label);
// A control's tab position (-1 for controls without one).
int TabIndexOf(const QWidget* control);
// Makes Qt's focus chain follow the controls' tab positions.
void ApplyTabOrder(QWidget* window);
