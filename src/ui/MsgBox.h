#pragma once
// Every message of the program goes through MsgBox. Style = icon code + button code, as the
// system's message boxes count them: buttons 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore,
// 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel; icons 16 stop, 32 question, 48 exclamation,
// 64 information; the default button (the one Enter presses) 0 the first, 256 the second, 512
// the third (a button the box lacks: the first). Returns the button pressed: 1 OK, 2 Cancel,
// 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No.

#include <QString>
#include <functional>

enum MsgBoxResult {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7
};
enum MsgBoxStyle {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    // A question whose first answer destroys or replaces something defaults to a later one.
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

// The program's title, shown when a message has none.
inline const QString kAppTitle = QStringLiteral("Varnet");

int MsgBox(const QString& prompt, int buttons = 0, const QString& title = {});

// Tests answer message boxes themselves; an empty hook restores the real box.
using MsgBoxHook = std::function<int(const QString& prompt, int buttons, const QString& title)>;
void SetMsgBoxHook(MsgBoxHook hook);
