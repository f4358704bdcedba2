#include "ui/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace {
FileOpenHook& OpenHook() {
    static FileOpenHook h;
    return h;
}
FileSaveHook& SaveHook() {
    static FileSaveHook h;
    return h;
}
PrintSetupHook& PrintHook() {
    static PrintSetupHook h;
    return h;
}
} // namespace

QString FileOpenRequest::Description() const {
    return filter.section('|', 0, 0);
}

QStringList FileOpenRequest::Patterns() const {
    return filter.section('|', 1, 1).split(';', Qt::SkipEmptyParts);
}

void SetFileOpenHook(FileOpenHook hook) {
    OpenHook() = std::move(hook);
}
void SetFileSaveHook(FileSaveHook hook) {
    SaveHook() = std::move(hook);
}
void SetPrintSetupHook(PrintSetupHook hook) {
    PrintHook() = std::move(hook);
}

std::optional<QString> ShowFileOpen(QWidget* parent, const FileOpenRequest& request) {
    if (OpenHook()) return OpenHook()(request);
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The description is shown as written; the patterns ride in a last group Qt hides.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(request.Description() + " (" + request.Patterns().join(' ') + ")");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> ShowFileSave(QWidget* parent, const FileSaveRequest& request) {
    if (SaveHook()) return SaveHook()(request);
    const FileOpenRequest entry{request.title, request.filter};
    QFileDialog dialog(parent, request.title, QDir(request.folder).filePath(request.name));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(entry.Description() + " (" + entry.Patterns().join(' ') + ")");
    if (const QStringList patterns = entry.Patterns(); !patterns.isEmpty())
        dialog.setDefaultSuffix(patterns.constFirst().section('.', -1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

bool ShowPrintSetup(QWidget* parent, const QString& title) {
    if (PrintHook()) return PrintHook()(title);
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
}
