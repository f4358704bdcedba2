// Starts the program as the user would, optionally selects map nodes and opens a window, and
// saves a picture of the screen after each step: a check of how the program looks.
//   varnet_screenshot OUT_PREFIX [NODE ...] [--about] [--edit NODE] [--options]
//                     [--save NODE TOP-LEFT-LATITUDE]   (edits, saves, and shows the tree after)
//                     [--zoom-in] [--zoom-out] [--fit]  (the map view's commands)
//                     [--coverage]  (the coverage window, its pictures arrived)
//                     [--grid NAME] (View > Grid's item mnuViewGridNAME: Bng, Utm, ...)
//                     [--grid-lines]  (View > Grid Lines turned over)
//                     [--measure X1 Y1 X2 Y2]  (the pointer over the map at X2 Y2 after a
//                                               Shift-drag from X1 Y1, pixels of picInner)
#include "app/StartupCode.h"
#include "ui/MsgBox.h"
#include "ui/frmAbout.h"
#include "ui/frmCoverage.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {
void Settle() {
    // A picture being decoded in the background is waited for (ten seconds at most), then what
    // it changed is painted.
    const frmMain* m = StartupCode::MainWindow;
    QElapsedTimer waited;
    waited.start();
    while (m && m->MapViewer->Decoding() && waited.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
void Shoot(const QString& file) {
    Settle();
    QGuiApplication::primaryScreen()->grabWindow(0).save(file);
    std::printf("%s\n", qPrintable(file));
}
QTreeWidgetItem* FindNode(frmMain& m, const QString& text) {
    auto found = m.DirTree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString prefix = argv[1];
    SetMsgBoxHook([](const QString& prompt, int style, const QString& title) {
        std::printf("message [%s]: %s\n", qPrintable(title), qPrintable(prompt));
        return (style & 0x0F) == vbYesNo ? int(vbYes) : int(vbOK);
    });
    StartupCode::Main();
    frmMain* m = StartupCode::MainWindow;
    if (!m) return 1;
    m->Move(600, 600, 14000, 10500);
    m->DirTree->expandAll();
    Shoot(prefix + "-start.png");
    for (int i = 2; i < argc; ++i) {
        const QString arg = argv[i];
        if (arg == "--about") {
            QTimer::singleShot(300, [&] {
                Shoot(prefix + "-about.png");
                frmAbout::Instance().Unload();
            });
            m->mnuHelpAbout_Click();
        } else if (arg == "--options") {
            frmOptions& o = frmOptions::Instance();
            o.ShowModeless();
            Shoot(prefix + "-options.png");
            o.Unload();
        } else if (arg == "--edit" && i + 1 < argc) {
            m->DirTree->setCurrentItem(FindNode(*m, argv[++i]));
            QTimer::singleShot(300, [&] {
                Shoot(prefix + "-edit.png");
                frmInfEdit::Instance().Unload();
            });
            m->mnuToolsEditInf_Click();
        } else if (arg == "--save" && i + 2 < argc) {
            const QString node = argv[++i], latitude = argv[++i];
            m->DirTree->setCurrentItem(FindNode(*m, node));
            QTimer::singleShot(300, [&] {
                frmInfEdit& e = frmInfEdit::Instance();
                e.txtTLLat->setText(latitude);
                Shoot(prefix + "-save-before.png");
                e.cmdOk->click();
                if (frmInfEdit::Loaded()) e.Unload(); // refused: the messages above say why
            });
            m->mnuToolsEditInf_Click();
            Shoot(prefix + "-save-after.png");
        } else if (arg == "--zoom-in" || arg == "--zoom-out" || arg == "--fit") {
            (arg == "--fit"       ? m->mnuViewFitMap
             : arg == "--zoom-in" ? m->mnuViewZoomIn
                                  : m->mnuViewZoomOut)
                ->trigger();
            Shoot(prefix + arg + ".png");
        } else if (arg == "--grid" && i + 1 < argc) {
            if (auto* item = m->findChild<QAction*>(QString("mnuViewGrid") + argv[++i]))
                item->trigger();
        } else if (arg == "--grid-lines") {
            m->mnuViewGridLines->trigger();
            Shoot(prefix + "-grid-lines.png");
        } else if (arg == "--coverage") {
            m->mnuViewCoverage->trigger();
            frmCoverage& c = frmCoverage::Instance();
            c.Move(700, 700, 13000, 9000); // fitted again to its new size
            for (int wait = 0; wait < 100 && c.picCanvas->Decoding() > 0; ++wait) Settle();
            QEventLoop painted; // the pictures that arrived last are painted together, soon after
            QTimer::singleShot(300, &painted, &QEventLoop::quit);
            painted.exec();
            Shoot(prefix + "-coverage.png");
        } else if (arg == "--measure" && i + 4 < argc) {
            const QPointF from(std::atof(argv[i + 1]), std::atof(argv[i + 2]));
            const QPointF to(std::atof(argv[i + 3]), std::atof(argv[i + 4]));
            i += 4;
            auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button,
                            Qt::MouseButtons buttons) {
                QMouseEvent e(type, at, m->picInner->mapToGlobal(at), button, buttons,
                              Qt::ShiftModifier);
                QApplication::sendEvent(m->picInner, &e);
            };
            send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
            send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
            Shoot(prefix + "-measure.png");
        } else if (QTreeWidgetItem* node = FindNode(*m, arg)) {
            m->DirTree->setCurrentItem(node);
            Shoot(prefix + "-" + arg + ".png");
        }
    }
    m->Unload();
    return 0;
}
