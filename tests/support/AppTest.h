#pragma once
// A fixture for the program's tests: a hermetic host (TempHost), message boxes answered and
// recorded, and every window unloaded afterwards.

#include "support/TempHost.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include <QRectF>
#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

class frmMain;
class frmInfEdit;
class QAction;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.left() << ", " << r.top() << ", " << r.width() << " x " << r.height() << ")";
}

struct Message {
    QString prompt;
    int style;
    QString title;
    bool operator==(const Message&) const = default;
};
inline void PrintTo(const Message& m, std::ostream* os) {
    *os << "[" << m.title.toStdString() << ", " << m.style << "] " << m.prompt.toStdString();
}
using Messages = std::vector<Message>;

// Twips geometry agrees to a thousandth of a twip (single-precision layout arithmetic).
inline ::testing::AssertionResult NearRect(const QRectF& got, const QRectF& want) {
    const double d =
        std::max({std::abs(got.left() - want.left()), std::abs(got.top() - want.top()),
                  std::abs(got.width() - want.width()), std::abs(got.height() - want.height())});
    if (d < 1e-3) return ::testing::AssertionSuccess();
    std::ostringstream os;
    PrintTo(got, &os);
    os << " is not ";
    PrintTo(want, &os);
    return ::testing::AssertionFailure() << os.str();
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Message boxes recorded and answered from `answers`.
    void AnswerBoxes();

    // Writes C:\Stelmar\Maps\<name>.
    void WriteMap(const std::string& name, const std::string& bytes);
    // Records C:\Stelmar as the host's folder and starts the program; the main window.
    frmMain& Start();
    // Runs pending events, deferred deletions included.
    static void Flush();
    // Runs events until `done` holds; a guard fails the test after ten seconds.
    static void WaitFor(const std::function<bool()>& done);
    // Selects a node by its text (nullptr when absent) and returns it.
    static class QTreeWidgetItem* Select(frmMain& main, const QString& text);
    // The details list's lines.
    static std::vector<std::string> Details(const frmMain& main);
    // The names of the drive node's children, in the tree's order.
    static QStringList FileNodes(const frmMain& main);
    // The editor on a definition (a Windows path), its file loaded as its timer would.
    static frmInfEdit& OpenEditor(const std::string& infPath);
    // The editor's boxes: the corners' latitudes and longitudes, then the picture's name.
    static QStringList Boxes(const frmInfEdit& e);
    // Triggers `command`, which opens the editor and returns once it is closed; `user` acts in
    // the loaded editor, which is closed after it if still open. Whether the editor opened (when
    // the command refuses before it, `user` does not run).
    static bool InEditor(QAction* command, const std::function<void(frmInfEdit&)>& user);

    // The next message box is shown as the user sees it and answered by `key` pressed in it,
    // as at the keyboard; it is recorded with the style -1. Later boxes are answered as before.
    void PressInNextBox(int key);

    TempHost host;
    std::vector<Message> messages;
    // Answers for the next message boxes; without one, Yes for Yes/No boxes, else OK.
    std::deque<int> answers;
};

// An image file of the given size in pixels, in the format its name says.
void WriteImage(const std::string& nativePath, int width, int height);
