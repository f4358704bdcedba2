#include "support/AppTest.h"

#include "app/StartupCode.h"
#include "platform/Drive.h"
#include "platform/Process.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"
#include "view/cPicScroll.h"

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

void AppTest::SetUp() {
    AnswerBoxes();
    SetFileOpenHook([](const FileOpenRequest&) -> std::optional<QString> {
        ADD_FAILURE() << "unexpected file dialog";
        return std::nullopt;
    });
    SetFileSaveHook([](const FileSaveRequest&) -> std::optional<QString> {
        ADD_FAILURE() << "unexpected save dialog";
        return std::nullopt;
    });
    SetPrintSetupHook([](const QString&) {
        ADD_FAILURE() << "unexpected print dialog";
        return false;
    });
}

void AppTest::TearDown() {
    while (Form::LoadedCount() > 0) Form::LoadedAt(Form::LoadedCount() - 1)->Unload();
    Flush();
    SetMsgBoxHook({});
    SetFileOpenHook({});
    SetFileSaveHook({});
    SetPrintSetupHook({});
    Platform::SetDriveInfoOverride({});
    Platform::SetStartProgramHook({});
    StartupCode::MainWindow = nullptr;
    StartupCode::Model.reset();
    StartupCode::PicScroll.reset();
    StartupCode::HostFolder.clear();
}

void AppTest::AnswerBoxes() {
    SetMsgBoxHook([this](const QString& prompt, int style, const QString& title) {
        messages.push_back({prompt, style, title});
        if (!answers.empty()) {
            const int a = answers.front();
            answers.pop_front();
            return a;
        }
        return (style & 0x0F) == 4 ? 6 : 1;
    });
}

void AppTest::PressInNextBox(int key) {
    SetMsgBoxHook({});
    QTimer::singleShot(0, [this, key] {
        AnswerBoxes(); // the box on screen is past its hook
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        messages.push_back({box->text(), -1, box->windowTitle()});
        QTest::keyClick(box, Qt::Key(key));
    });
}

void AppTest::WriteMap(const std::string& name, const std::string& bytes) {
    TempHost::Write(host.OnC("Stelmar/Maps/" + name), bytes);
}

frmMain& AppTest::Start() {
    host.MakeHost();
    StartupCode::Main();
    Flush();
    if (!StartupCode::MainWindow) throw std::runtime_error("no main window");
    return *StartupCode::MainWindow;
}

void AppTest::Flush() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
}

void AppTest::WaitFor(const std::function<bool()>& done) {
    bool late = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { late = true; });
    guard.start(10000);
    // What changes outside the event loop (a process ending, a file written) is looked at again
    // every few milliseconds.
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, [] {});
    again.start(5);
    while (!done() && !late) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(late) << "waited in vain";
}

QTreeWidgetItem* AppTest::Select(frmMain& main, const QString& text) {
    const auto found = main.DirTree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return nullptr;
    main.DirTree->setCurrentItem(found.first());
    return found.first();
}

std::vector<std::string> AppTest::Details(const frmMain& main) {
    std::vector<std::string> lines;
    for (int i = 0; i < main.lstDetails->count(); ++i)
        lines.push_back(main.lstDetails->item(i)->text().toStdString());
    return lines;
}

QStringList AppTest::FileNodes(const frmMain& main) {
    QStringList names;
    QTreeWidgetItem* drive = main.DirTree->topLevelItem(0)->child(0);
    for (int i = 0; i < drive->childCount(); ++i) names << drive->child(i)->text(0);
    return names;
}

frmInfEdit& AppTest::OpenEditor(const std::string& infPath) {
    frmInfEdit& e = frmInfEdit::Instance();
    e.setInfPath(infPath);
    e.Timer1_Timer();
    return e;
}

QStringList AppTest::Boxes(const frmInfEdit& e) {
    return {e.txtTLLat->text(), e.txtTLLon->text(), e.txtBRLat->text(), e.txtBRLon->text(),
            e.txtFilename->text()};
}

bool AppTest::InEditor(QAction* command, const std::function<void(frmInfEdit&)>& user) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (!frmInfEdit::Loaded()) return; // refused before the editor
        opened = true;
        frmInfEdit& e = frmInfEdit::Instance();
        e.Timer1_Timer();
        user(e);
        if (frmInfEdit::Loaded()) e.Unload();
    });
    command->trigger();
    Flush(); // refused before the editor: the timer runs now, while `user` lives
    return opened;
}

void WriteImage(const std::string& nativePath, int width, int height) {
    TempHost::MakeFolder(nativePath.substr(0, nativePath.rfind('/')));
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 90, 160));
    if (!image.save(QString::fromStdString(nativePath)))
        throw std::runtime_error("cannot save image");
}
