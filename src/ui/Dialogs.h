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

// A file-save request: the dialog's title, one filter entry as for opening (its first pattern's
// extension is added to a name typed without one), the folder it opens on and the file name it
// proposes (native; either may be "").
struct FileSaveRequest {
    QString title;
    QString filter;
    QString folder;
    QString name;
};

// The chosen path (native, as the system writes it), or nothing when the user cancels. The
// dialog does not ask about replacing a file of that name: the caller knows every file it will
// write and asks once for them all.
std::optional<QString> ShowFileSave(QWidget* parent, const FileSaveRequest& request);
using FileSaveHook = std::function<std::optional<QString>(const FileSaveRequest&)>;
void SetFileSaveHook(FileSaveHook hook);

// The print set-up dialog: true when accepted, false when cancelled.
bool ShowPrintSetup(QWidget* parent, const QString& title);
using PrintSetupHook = std::function<bool(const QString& title)>;
void SetPrintSetupHook(PrintSetupHook hook);
