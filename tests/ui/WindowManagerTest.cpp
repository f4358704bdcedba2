// The program itself on a virtual X display under a window manager that frames its windows
// (Xvfb and openbox), driven as a user drives it: keys typed into the window with the focus.
#include "platform/Settings.h"
#include "support/TempHost.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <map>

namespace {

constexpr int kBoundMs = 10000; // each wait's bound, far beyond what a wait takes
constexpr int kScreenWidth = 1280, kScreenHeight = 900;

// The virtual display and its window manager, for the test's life.
class Desktop {
public:
    ~Desktop() {
        for (QProcess* p : {&manager_, &server_}) { // the server removes its lock as it ends
            p->terminate();
            p->waitForFinished(kBoundMs);
        }
    }
    // Empty when the display started; otherwise why it could not.
    QString Start(const std::string& home) {
        // The server picks a free display and writes its number once it takes clients.
        server_.start("Xvfb", {"-displayfd", "1", "-screen", "0",
                               QString("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight),
                               "-nolisten", "tcp"});
        if (!server_.waitForStarted(kBoundMs)) return "Xvfb: " + server_.errorString();
        QByteArray number;
        while (!number.contains('\n')) {
            if (!server_.waitForReadyRead(kBoundMs))
                return "Xvfb gave no display: " + server_.readAllStandardError();
            number += server_.readAllStandardOutput();
        }
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("DISPLAY", ":" + number.trimmed());
        // A key that maximises the window with the focus, as a user's window manager has one.
        const std::string rc = home + "/openbox-rc.xml";
        TempHost::Write(rc, "<?xml version=\"1.0\"?>\n"
                            "<openbox_config xmlns=\"http://openbox.org/3.4/rc\"><keyboard>"
                            "<keybind key=\"A-F10\"><action name=\"ToggleMaximize\"/></keybind>"
                            "</keyboard></openbox_config>\n");
        manager_.setProcessEnvironment(env_);
        manager_.setProcessChannelMode(QProcess::MergedChannels);
        manager_.start("openbox", {"--config-file", QString::fromStdString(rc), "--startup",
                                   "echo window-manager-ready"});
        // It runs that command once it manages the screen.
        for (QByteArray said; !said.contains("window-manager-ready"); said += manager_.readAll())
            if (!manager_.waitForReadyRead(kBoundMs)) {
                ADD_FAILURE() << "openbox: " << manager_.errorString().toStdString() << said.data();
                break;
            }
        return {};
    }
    const QProcessEnvironment& Environment() const { return env_; }

    // xdotool's output; its failures count in the test.
    QString Do(const QStringList& arguments, bool mayFail = false) const {
        QProcess xdo;
        xdo.setProcessEnvironment(env_);
        xdo.start("xdotool", arguments);
        const bool done = xdo.waitForFinished(kBoundMs) && xdo.exitCode() == 0;
        if (!done && !mayFail)
            ADD_FAILURE() << "xdotool " << arguments.join(' ').toStdString() << ": "
                          << xdo.errorString().toStdString()
                          << xdo.readAllStandardError().toStdString();
        return done ? QString::fromUtf8(xdo.readAllStandardOutput()).trimmed() : QString();
    }
    // The window of that title once it is on screen (framed by then: the window manager maps a
    // window only in its frame). A window that goes while the search reads it (the splash
    // window) ends a search, which is then made again.
    QString Window(const QString& title) const {
        for (int attempt = 0; attempt < 20; ++attempt)
            if (const QString found =
                    Do({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, true);
                !found.isEmpty())
                return found.section('\n', 0, 0);
        ADD_FAILURE() << "no window " << title.toStdString();
        return {};
    }
    // Keys typed into a window, given the focus first.
    void Type(const QString& window, const QStringList& keys) const {
        Do(QStringList{"windowfocus", "--sync", window, "key"} + keys);
    }

private:
    QProcess server_, manager_;
    QProcessEnvironment env_;
};

using Stored = std::map<std::string, std::string>;

Stored Placements() {
    Stored s;
    for (const char* window : {"Main", "FindMaps", "Coverage"})
        for (const char* edge : {"Left", "Top", "Width", "Height"}) {
            const std::string key = std::string(window) + edge;
            s[key] = Platform::GetSetting("Varnet", "Settings", key, "");
        }
    return s;
}

} // namespace

TEST(WindowManagerTest, WindowsKeepTheirPlaceStartAfterStartAndMaximisedBounds) {
    TempHost host;
    host.MakeHost();
    // Coverage was last closed on a screen that is no longer there.
    host.WriteSettings("Varnet", "[Settings]\nCoverageLeft=-900000\nCoverageTop=-600000\n"
                                 "CoverageWidth=9000\nCoverageHeight=6500\n");
    Desktop desktop;
    if (const QString why = desktop.Start(host.Root()); !why.isEmpty())
        GTEST_SKIP() << "no virtual display: " << why.toStdString();
    if (testing::Test::HasFailure()) return;

    // Starts the program, opens Find Maps and Coverage, maximises the main window if asked,
    // and ends it with File > Exit; the placements it stored.
    auto run = [&](bool maximise) {
        QProcess varnet;
        QProcessEnvironment env = desktop.Environment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        varnet.setProcessEnvironment(env);
        varnet.start(VARNET_PROGRAM, QStringList());
        const QString main = desktop.Window("Varnet");
        // The window manager's key: it has done all of it before it takes the next window.
        if (maximise) desktop.Type(main, {"alt+F10"});
        desktop.Type(main, {"alt+v", "c"}); // View > Coverage
        desktop.Window("Map Coverage");
        desktop.Type(main, {"ctrl+f"}); // Tools > Find Maps...
        desktop.Window("Find Maps");
        desktop.Type(main, {"alt+f", "x"}); // File > Exit
        EXPECT_TRUE(varnet.waitForFinished(kBoundMs) &&
                    varnet.exitStatus() == QProcess::NormalExit && varnet.exitCode() == 0)
            << varnet.readAllStandardError().toStdString();
        return Placements();
    };

    const Stored first = run(false);
    for (const auto& [key, value] : first) EXPECT_FALSE(value.empty()) << key;
    // Back on the screen.
    const int left = std::stoi(first.at("CoverageLeft")), top = std::stoi(first.at("CoverageTop"));
    EXPECT_TRUE(left >= 0 && left < kScreenWidth * 15 && top >= 0 && top < kScreenHeight * 15)
        << left << ", " << top;
    // Each window opens where it was and as large as it was, frame and all.
    EXPECT_EQ(run(false), first);

    // Closed maximised: its bounds are the screen's, and it opens with them and keeps them.
    Stored maximised = first;
    maximised["MainLeft"] = maximised["MainTop"] = "0";
    maximised["MainWidth"] = std::to_string(kScreenWidth * 15);
    maximised["MainHeight"] = std::to_string(kScreenHeight * 15);
    EXPECT_EQ(run(true), maximised);
    EXPECT_EQ(run(false), maximised);
}
