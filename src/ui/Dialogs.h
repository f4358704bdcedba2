#pragma once
// The system's file and print dialogs, behind seams that tests replace like the message boxes.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

// A file-open request: the dialog's title, and one filter entry as the system's filter text
// writes it ("Description|*.a;*.b").
struct FileOpenRequest {
    QString title;
    QString filter;
    // The folder the dialog opens on (a native path), or "" for the dialog's own choice.
    QString folder = {};
    // The description shown for the entry, and its patterns, as the text gives them.
    QString Description() const;
    QStringList Patterns() const;
};

// The chosen path, or nothing when the user cancels.
std::optional<QString> ShowFileOpen(QWidget* parent, const FileOpenRequest& request);
using FileOpenHook = std::function<std::optional<QString>(const FileOpenRequest&)>;
void SetFileOpenHook(FileOpenHook hook);

// The print set-up dialog: true when accepted, false when cancelled.
bool ShowPrintSetup(QWidget* parent, const QString& title);
using PrintSetupHook = std::function<bool(const QString& title)>;
void SetPrintSetupHook(PrintSetupHook hook);
