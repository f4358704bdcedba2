// The library following its folder as it goes and comes back, then file by file again.
#include "library/LibraryWatcher.h"
#include "support/TempHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class LibraryWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write("a.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n");
        library.Load(TEST_DRIVE "\\Stelmar\\Maps");
        watcher.Watch();
    }
    void Write(const std::string& name, const std::string& bytes) {
        TempHost::Write(maps + "/" + name, bytes);
    }
    std::vector<std::string> Listed() const {
        std::vector<std::string> names;
        for (const auto& e : library.Entries()) names.push_back(e.name);
        return names;
    }
    // Runs the event loop until `done` holds, for at most ten seconds.
    static void WaitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_TRUE(done()) << "waited in vain";
    }

    TempHost host;
    std::string maps = host.MakeHost();
    Library::MapLibrary library;
    Library::LibraryWatcher watcher{library};
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(LibraryWatcherTest, TheFolderGoesAndComesBack) {
    const std::string away = host.OnC("Stelmar/Elsewhere");
    struct Step {
        const char* what;
        std::function<void()> take, give;
    } steps[] = {
        {"deleted and made again", [&] { fs::remove_all(maps); },
         [&] {
             TempHost::MakeFolder(maps);
             Write("a.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n");
         }},
        {"renamed away and back", [&] { fs::rename(maps, away); }, [&] { fs::rename(away, maps); }},
        {"made unreadable and readable", [&] { chmod(maps.c_str(), 0); },
         [&] { chmod(maps.c_str(), 0755); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.what[0] == 'm' && geteuid() == 0) continue; // nothing is unreadable to root
        s.take();
        WaitFor([&] { return library.Entries().empty() && !library.Error().empty(); });
        s.give();
        WaitFor([&] { return Listed() == Names{"a.inf"} && watcher.Watching(); });
        Write("b.inf", "1N,1E\r\n0N,2E\r\nx.jpg\r\n"); // followed again, file by file
        WaitFor([&] { return Listed() == Names{"a.inf", "b.inf"}; });
        fs::remove(maps + "/b.inf");
        WaitFor([&] { return Listed() == Names{"a.inf"}; });
    }
}

// A definition's picture appearing, rewritten or going in the folder: its entry follows, and is
// reported each time, even when it reads as before (the pixels may be new).
TEST_F(LibraryWatcherTest, APictureAppearingChangingOrGoingIsFollowed) {
    Write("p.inf", "1N,1E\r\n0N,2E\r\np.bmp\r\n");
    WaitFor([&] { return Listed() == Names{"a.inf", "p.inf"}; });
    int reported = 0;
    auto count = [&](int index) {
        reported += library.Entries()[std::size_t(index)].name == "p.inf";
    };
    QObject::connect(&library, &Library::MapLibrary::Changed, count);
    QObject::connect(&library, &Library::MapLibrary::Read, count);
    const struct {
        const char* what;
        std::function<void()> change;
        Library::State state;
        int width;
    } steps[] = {
        {"appears", [&] { Write("p.bmp", TempHost::Bmp(40, 30)); }, Library::State::Ok, 40},
        {"rewritten larger", [&] { Write("p.bmp", TempHost::Bmp(60, 20)); }, Library::State::Ok,
         60},
        {"rewritten the same", [&] { Write("p.bmp", TempHost::Bmp(60, 20)); }, Library::State::Ok,
         60},
        {"goes", [&] { fs::remove(maps + "/p.bmp"); }, Library::State::PictureMissing, 0},
        {"comes back in capitals", [&] { Write("P.BMP", TempHost::Bmp(50, 10)); },
         Library::State::Ok, 50},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        const int before = reported;
        s.change();
        WaitFor([&] { return reported > before; });
        const Library::Entry& p = library.Entries()[std::size_t(library.IndexOf("p.inf"))];
        EXPECT_EQ(p.state, s.state);
        EXPECT_EQ(p.width, s.width);
    }
}
