// Following a folder: what another program does to the entries comes back entry by entry, and
// the folder's own end ends the watch.
#include "platform/FolderWatch.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#endif

using Platform::FolderChange;
using Platform::FolderWatch;
using Kind = FolderChange::Kind;
namespace fs = std::filesystem;

namespace {

// Whether the tests run under Wine, which does not say everything Windows says.
bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// Waits at most `ms` for the watch's handle to say that changes wait.
bool Ready(std::intptr_t handle, int ms) {
#ifdef _WIN32
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), DWORD(ms)) == WAIT_OBJECT_0;
#else
    pollfd p{int(handle), POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
#endif
}

// Everything taken up to and with `last`, or up to a bound of time when it never comes.
std::vector<FolderChange> TakeUntil(FolderWatch& watch, const FolderChange& last) {
    std::vector<FolderChange> seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (watch.Active() && std::chrono::steady_clock::now() < end) {
        if (!Ready(watch.Handle(), 200)) continue;
        for (const auto& c : watch.Take()) {
            seen.push_back(c);
            if (c == last) return seen;
        }
    }
    return seen;
}

// Whether `wanted` comes in `seen` in this order (other changes may come between).
bool InOrder(const std::vector<FolderChange>& seen, const std::vector<FolderChange>& wanted) {
    auto at = seen.begin();
    for (const auto& w : wanted) {
        at = std::find(at, seen.end(), w);
        if (at == seen.end()) return false;
        ++at;
    }
    return true;
}

std::string Names(const std::vector<FolderChange>& changes) {
    std::string s;
    for (const auto& c : changes) s += std::to_string(int(c.kind)) + ":" + c.native + " ";
    return s;
}

} // namespace

TEST(FolderWatch, FollowsEachEntryThroughItsLife) {
    TempHost host;
    const fs::path maps = host.OnC("Maps");
    TempHost::MakeFolder(maps.string());
    FolderWatch watch;
    ASSERT_TRUE(watch.Start(maps.string()));
    ASSERT_TRUE(watch.Active());
    const std::string hidden = ".a.inf.swp"; // an editor's, hidden on POSIX only
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<FolderChange> wanted;
    } steps[] = {
        {"created",
         [&] {
#ifndef _WIN32
             TempHost::Write((maps / hidden).string(), "x");
#endif
             TempHost::Write((maps / "a.inf").string(), "first");
         },
         {{Kind::Added, "a.inf"}}},
        {"rewritten in place",
         [&] {
             std::fstream f(maps / "a.inf", std::ios::in | std::ios::out | std::ios::binary);
             f << "FIRST";
         },
         {{Kind::Changed, "a.inf"}}},
        {"renamed",
         [&] { fs::rename(maps / "a.inf", maps / "b.inf"); },
         {{Kind::Removed, "a.inf"}, {Kind::Added, "b.inf"}}},
        {"deleted", [&] { fs::remove(maps / "b.inf"); }, {{Kind::Removed, "b.inf"}}},
        {"a folder made in it",
         [&] { fs::create_directory(maps / "Sub"); },
         {{Kind::Added, "Sub"}}},
    };
    for (const auto& step : steps) {
        step.act();
        const auto seen = TakeUntil(watch, step.wanted.back());
        EXPECT_TRUE(InOrder(seen, step.wanted)) << step.what << ": " << Names(seen);
        for (const auto& c : seen) EXPECT_NE(c.native, hidden) << step.what;
    }
    EXPECT_TRUE(watch.Active());
    EXPECT_TRUE(watch.Take().empty()); // nothing waits, and taking does not block
}

TEST(FolderWatch, TheFolderGoingEndsTheWatch) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& maps)> act;
        bool underWine;
    } cases[] = {
        // Wine keeps a deleted folder that a watch holds open until the watch lets it go, and
        // says nothing of its deletion meanwhile: this case is left out under Wine.
        {"deleted", [](const fs::path& maps) { fs::remove_all(maps); }, false},
        // Windows keeps following a folder moved away, and says nothing until a change in it.
        {"moved away",
         [](const fs::path& maps) {
             fs::rename(maps, maps.parent_path() / "Elsewhere");
             TempHost::Write((maps.parent_path() / "Elsewhere" / "later.inf").string(), "x");
         },
         true},
    };
    for (const auto& c : cases) {
        if (UnderWine() && !c.underWine) continue;
        TempHost host;
        const fs::path maps = host.OnC("Maps");
        TempHost::Write((maps / "a.inf").string(), "x");
        FolderWatch watch;
        ASSERT_TRUE(watch.Start(maps.string())) << c.what;
        c.act(maps);
        const auto seen = TakeUntil(watch, {Kind::Gone, ""});
        ASSERT_FALSE(seen.empty()) << c.what;
        EXPECT_EQ(seen.back().kind, Kind::Gone) << c.what << ": " << Names(seen);
        for (const auto& change : seen) EXPECT_NE(change.native, "later.inf") << c.what;
        EXPECT_FALSE(watch.Active()) << c.what;
        EXPECT_EQ(watch.Handle(), -1) << c.what;
        EXPECT_TRUE(watch.Take().empty()) << c.what;
    }
}

TEST(FolderWatch, TheFolderPermissionsChangedAskForAFullRead) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows reports a change to the folder itself only to a watch on the folder "
                    "that holds it";
#else
    TempHost host;
    const std::string maps = host.OnC("Maps");
    TempHost::MakeFolder(maps);
    FolderWatch watch;
    ASSERT_TRUE(watch.Start(maps));
    ASSERT_EQ(chmod(maps.c_str(), 0500), 0);
    const auto seen = TakeUntil(watch, {Kind::Folder, ""});
    EXPECT_TRUE(InOrder(seen, {{Kind::Folder, ""}})) << Names(seen);
    chmod(maps.c_str(), 0700);
#endif
}

TEST(FolderWatch, StartRefusesWhatItCannotFollowAndSaysWhy) {
    TempHost host;
    TempHost::Write(host.OnC("Maps/a.inf"), "x");
    std::vector<std::string> reasons;
    for (const std::string& path : {host.OnC("Missing"), host.OnC("Maps/a.inf")}) {
        FolderWatch watch;
        ASSERT_TRUE(watch.Start(host.OnC("Maps")));
        std::string why;
        EXPECT_FALSE(watch.Start(path, &why)) << path;
        EXPECT_FALSE(watch.Active()) << path; // the folder followed before is dropped
        EXPECT_EQ(watch.Handle(), -1) << path;
        reasons.push_back(why);
    }
    EXPECT_FALSE(reasons[0].empty());
    EXPECT_NE(reasons[0], reasons[1]); // each says its own cause
}
