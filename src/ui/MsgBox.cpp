#include "ui/MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

MsgBoxHook& Hook() {
    static MsgBoxHook hook;
    return hook;
}

// The icon a style value's icon bits (16, 32, 48, 64) name.
QMessageBox::Icon IconOf(int buttons) {
    switch (buttons & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// A button of the box and the code its press returns.
struct Choice {
    QMessageBox::StandardButton button;
    int code;
};

// The buttons a style value's button bits (0 to 5) name, in order.
std::vector<Choice> ChoicesOf(int buttons) {
    switch (buttons & 0x0F) {
    case 1:
        return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case 2:
        return {{QMessageBox::Abort, vbAbort},
                {QMessageBox::Retry, vbRetry},
                {QMessageBox::Ignore, vbIgnore}};
    case 3:
        return {
            {QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case 4:
        return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case 5:
        return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default:
        return {{QMessageBox::Ok, vbOK}};
    }
}

} // namespace

void SetMsgBoxHook(MsgBoxHook hook) {
    Hook() = std::move(hook);
}

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    const QString shownTitle = title.isEmpty() ? kAppTitle : title;
    if (Hook()) return Hook()(prompt, buttons, shownTitle);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(shownTitle);
    box.setText(prompt);
    box.setIcon(IconOf(buttons));
    const std::vector<Choice> choices = ChoicesOf(buttons);
    QMessageBox::StandardButtons set;
    for (const auto& c : choices) set |= c.button;
    box.setStandardButtons(set);
    const std::size_t preferred = std::size_t(buttons & 0x300) >> 8;
    box.setDefaultButton(choices[preferred < choices.size() ? preferred : 0].button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& c : choices)
        if (c.button == pressed) return c.code;
    // Closed without a button: the box's cancel answer.
    return choices.size() == 1 ? vbOK : choices.back().code == vbNo ? vbNo : vbCancel;
}
