#pragma once
// Follows the Maps folder for changes made by other programs: a definition added, removed,
// renamed or rewritten. Changed comes once the changes have paused for a moment, and at the
// latest a second after the first of them, so a copy of thousands of files is one change.

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <string>

class LibraryWatcher : public QObject {
    Q_OBJECT
public:
    explicit LibraryWatcher(QObject* parent = nullptr);

    // Watches a folder (a Windows path) and the plain files in it whose names end in "inf";
    // what was watched before is dropped. Past some thousands of files only the folder is
    // watched (files added, removed and renamed; not rewritten in place).
    void Watch(const std::string& folder);
    void Stop();

signals:
    void Changed();

private:
    void Noticed();
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer settle_;
    QElapsedTimer since_; // since the first change not yet reported
};
