// What a folder can hold beyond plain files with plain names: pipes, devices, endless and
// sparse files, names that collide or hold separators, links, and saves cut short.
#include "platform/DirList.h"
#include "platform/Drive.h"
#include "platform/FileIO.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "platform/WinPath.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Platform;
namespace fs = std::filesystem;

namespace {
std::vector<std::string> Names(const std::string& what) {
    DirListing l;
    std::vector<std::string> out;
    for (std::string n = l.First(what); !n.empty(); n = l.Next()) out.push_back(n);
    return out;
}
std::string FirstLine(const std::string& win) {
    TextReader r(win);
    return r.ReadLine();
}
// How many names in a folder start with a dot: a save's temporary files and leftovers.
int Hidden(const std::string& native) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(native))
        n += e.path().filename().string()[0] == '.';
    return n;
}
// A file of `size` bytes that takes no room: `start`, then zeros.
void Sparse(const std::string& native, const std::string& start, off_t size) {
    TempHost::Write(native, start);
    ASSERT_EQ(truncate(native.c_str(), size), 0);
}
} // namespace

TEST(HostileFiles, PipesDevicesAndEndlessFilesAreRefusedAtOnce) {
    TempHost host;
    TempHost::MakeFolder(host.OnC("M"));
    ASSERT_EQ(mkfifo(host.OnC("M/pipe.inf").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", host.OnC("M/zero.inf"));
    Sparse(host.OnC("M/huge.inf"), ";\r\n", off_t(3) << 30);
    for (const char* win : {"C:\\M\\pipe.inf", "C:\\M\\zero.inf"}) {
        SCOPED_TRACE(win);
        EXPECT_FALSE(CanOpenForReading(win));
        EXPECT_EQ(ErrorOf([&] { FirstLine(win); }), ErrorKind::FileError);
        std::string data, error;
        EXPECT_FALSE(ReadWholeFile(*ToNativePath(win), data, 1 << 20, &error));
        EXPECT_NE(error.find("not a file"), std::string::npos) << error;
    }
    // A plain file that is too long for its reader is refused within its bound.
    std::string data, error;
    EXPECT_FALSE(ReadWholeFile(host.OnC("M/huge.inf"), data, 1 << 20, &error));
    EXPECT_EQ(error, "File too long: more than 1048576 bytes");
    EXPECT_TRUE(data.empty());
    TextReader bounded("C:\\M\\huge.inf", 4096);
    EXPECT_EQ(bounded.ReadLine(), ";");
    EXPECT_EQ(ErrorOf([&] { bounded.ReadLine(); }), ErrorKind::FileError);
    // The listing names only the plain file among them.
    EXPECT_EQ(Names("C:\\M\\*.inf"), std::vector<std::string>{"huge.inf"});

    // The settings store and a drive's label behind such files give their defaults.
    const std::string config = host.Root() + "/home/.config/";
    TempHost::MakeFolder(config + "Pipe");
    ASSERT_EQ(mkfifo((config + "Pipe/settings.ini").c_str(), 0644), 0);
    TempHost::MakeFolder(config + "Zero");
    fs::create_symlink("/dev/zero", config + "Zero/settings.ini");
    for (const char* app : {"Pipe", "Zero"}) {
        EXPECT_EQ(GetSetting(app, "S", "K", "default"), "default") << app;
        EXPECT_FALSE(SaveSetting(app, "S", "K", "v")) << app; // never written over
    }
    ASSERT_EQ(mkfifo(host.OnC(".windows-label").c_str(), 0644), 0);
    EXPECT_EQ(GetVolumeLabel("C:"), "");
    fs::remove(host.OnC(".windows-label"));
    Sparse(host.OnC(".windows-label"), "", off_t(3) << 30);
    EXPECT_EQ(GetVolumeLabel("C:"), "");
    fs::remove(host.OnC(".windows-label"));
    Sparse(host.OnC(".windows-label"), "NAVDATA\n", off_t(3) << 30);
    EXPECT_EQ(GetVolumeLabel("C:"), "NAVDATA");
}

TEST(HostileFiles, EveryEntryHasANameOfItsOwnThatOpensIt) {
    TempHost host;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"\xE6\x9D\xB1\xE4\xBA\xAC.inf", "tokyo"}, // two names Windows-1252 cannot hold
        {"\xE5\xA4\xA7\xE9\x98\xAA.inf", "osaka"},
        {"caf\xC3\xA9.inf", "utf-8"}, // the same name in UTF-8 and in Latin-1
        {"caf\xE9.inf", "latin-1"},
        {"sub\\map.inf", "backslash"}, // a name that would be a path
        {"sub/map.inf", "in the folder"},
        {"plain.inf", "plain"},
    };
    for (const auto& [name, text] : files) TempHost::Write(host.OnC("M/") + name, text);
    const auto names = Names("C:\\M\\*.inf");
    ASSERT_EQ(names.size(), 6u); // the folder "sub" is no file of its own
    std::vector<std::string> seen;
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        EXPECT_EQ(n.find_first_of("\\/:*?\"<>|"), std::string::npos);
        seen.push_back(FirstLine("C:\\M\\" + n));
        EXPECT_EQ(FirstLine("c:\\m\\" + Upper(n)), seen.back()); // without regard to case too
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"backslash", "latin-1", "osaka", "plain", "tokyo",
                                              "utf-8"}));
    // Names that are their own stay as they are; the UTF-8 one keeps the shared form.
    EXPECT_NE(std::find(names.begin(), names.end(), "plain.inf"), names.end());
    EXPECT_EQ(FirstLine("C:\\M\\caf\xE9.inf"), "utf-8");
    // A write through a name reaches its own file and no other.
    const auto alias = std::find_if(names.begin(), names.end(),
                                    [](const std::string& n) { return n.rfind("sub", 0) == 0; });
    ASSERT_NE(alias, names.end());
    WriteTextLines("C:\\M\\" + *alias, {"saved"});
    EXPECT_EQ(TempHost::Read(host.OnC("M/sub\\map.inf")), "saved\r\n");
    EXPECT_EQ(TempHost::Read(host.OnC("M/sub/map.inf")), "in the folder");
}

TEST(HostileFiles, SavesKeepLinksOwnersAndLongNames) {
    TempHost host;
    TempHost::Write(host.OnC("real/a.inf"), "old");
    TempHost::MakeFolder(host.OnC("M"));
    fs::create_symlink(host.OnC("real/a.inf"), host.OnC("M/link.inf"));
    TempHost::Write(host.OnC("M/linked.inf"), "old");
    TempHost::MakeFolder(host.OnC("other"));
    fs::create_hard_link(host.OnC("M/linked.inf"), host.OnC("other/second.inf"));
    const std::string longName = std::string(251, 'n') + ".inf";
    TempHost::Write(host.OnC("M/") + longName, "old");

    WriteTextLines("C:\\M\\link.inf", {"new"});
    EXPECT_TRUE(fs::is_symlink(host.OnC("M/link.inf")));
    EXPECT_EQ(TempHost::Read(host.OnC("real/a.inf")), "new\r\n");
    WriteTextLines("C:\\M\\linked.inf", {"new"});
    EXPECT_EQ(TempHost::Read(host.OnC("other/second.inf")), "new\r\n");
    EXPECT_EQ(fs::hard_link_count(host.OnC("M/linked.inf")), 2u);
    WriteTextLines("C:\\M\\" + longName, {"new"});
    EXPECT_EQ(TempHost::Read(host.OnC("M/") + longName), "new\r\n");
    if (geteuid() == 0) { // only the superuser can give a file to another user
        ASSERT_EQ(chown(host.OnC("real/a.inf").c_str(), 4321, 4321), 0);
        WriteTextLines("C:\\M\\link.inf", {"again"});
        struct stat st {};
        stat(host.OnC("real/a.inf").c_str(), &st);
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4321u);
    }
    // An export's replace never writes through a link at its name: a plain file takes the name,
    // and what the link led to, or another name of the file, stays as it was.
    TempHost::Write(host.OnC("real/kept.jgw"), "kept");
    fs::create_symlink(host.OnC("real/kept.jgw"), host.OnC("M/to-file.jgw"));
    fs::create_symlink(host.OnC("real/none.jgw"), host.OnC("M/to-nothing.jgw"));
    fs::create_hard_link(host.OnC("real/kept.jgw"), host.OnC("M/second-name.jgw"));
    for (const char* name : {"to-file.jgw", "to-nothing.jgw", "second-name.jgw"}) {
        ASSERT_TRUE(ReplaceFileAtName(host.OnC("M/") + name, "new")) << name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(host.OnC("M/") + name))) << name;
        EXPECT_EQ(TempHost::Read(host.OnC("M/") + name), "new") << name;
    }
    EXPECT_EQ(TempHost::Read(host.OnC("real/kept.jgw")), "kept");
    EXPECT_FALSE(TempHost::Exists(host.OnC("real/none.jgw")));
    // Contents another library writes into the file itself: when it fails, the name keeps what
    // it had and its reason is said.
    fs::create_symlink(host.OnC("real/kept.jgw"), host.OnC("M/zip.kmz"));
    std::string why;
    EXPECT_FALSE(ReplaceFileAtName(
        host.OnC("M/zip.kmz"),
        [](const std::string&, std::string& reason) {
            reason = "full";
            return false;
        },
        &why));
    EXPECT_EQ(why, "full");
    EXPECT_TRUE(fs::is_symlink(host.OnC("M/zip.kmz")));
    // Nothing left behind: no temporary file, no backup.
    for (const char* folder : {"M", "real", "other"})
        EXPECT_EQ(Hidden(host.OnC(folder)), 0) << folder;
}

TEST(HostileFiles, FilesReplacedTogetherAreAllReplacedOrNone) {
    TempHost host;
    TempHost::Write(host.OnC("M/a.jgw"), "old world");
    fs::create_directories(host.OnC("M/b.prj")); // a name no file can take
    std::size_t failed = 0;
    EXPECT_FALSE(ReplaceFilesAtName(
        {{host.OnC("M/a.jgw"), "world"}, {host.OnC("M/b.prj"), "datum"}}, failed));
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(TempHost::Read(host.OnC("M/a.jgw")), "old world");
    ASSERT_TRUE(ReplaceFilesAtName({{host.OnC("M/a.jgw"), "world"}, {host.OnC("M/a.prj"), "datum"}},
                                   failed));
    EXPECT_EQ(TempHost::Read(host.OnC("M/a.jgw")) + TempHost::Read(host.OnC("M/a.prj")),
              "worlddatum");
    EXPECT_EQ(Hidden(host.OnC("M")), 0); // no temporary file left
}

TEST(HostileFiles, ASaveCutShortLeavesTheOldFileAndTheNextSaveTidiesUp) {
    TempHost host;
    TempHost::Write(host.OnC("M/a.inf"), "old");
    TempHost::Write(host.OnC("M/b.inf"), "other");
    auto hidden = [&] { return Hidden(host.OnC("M")); };
    // A save killed mid-write: the file-size limit stops it with a signal, as a crash would.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        WriteTextLines("C:\\M\\a.inf", {std::string(1 << 20, 'x')});
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(TempHost::Read(host.OnC("M/a.inf")), "old");
    ASSERT_EQ(hidden(), 1);
    WriteTextLines("C:\\M\\b.inf", {"b"}); // another file's save leaves it alone
    EXPECT_EQ(hidden(), 1);
    WriteTextLines("C:\\M\\a.inf", {"a"});
    EXPECT_EQ(hidden(), 0);
    EXPECT_EQ(TempHost::Read(host.OnC("M/a.inf")), "a\r\n");
    // Two programs saving it at once: neither takes the other's save for a leftover.
    EXPECT_EQ(InTwoProcessesAtOnce([] {
                  for (int i = 0; i < 40; ++i)
                      if (ErrorOf([] { WriteTextLines("C:\\M\\a.inf", {"a"}); }) != std::nullopt)
                          return 1;
                  return 0;
              }),
              0);
    EXPECT_EQ(hidden(), 0);
}

TEST(HostileFiles, RefusedSavesSayWhatIsReadOnly) {
    TempHost host;
    TempHost::Write(host.OnC("ro/a.inf"), "old");
    chmod(host.OnC("ro/a.inf").c_str(), 0444);
    TempHost::Write(host.OnC("rodir/b.inf"), "old");
    chmod(host.OnC("rodir").c_str(), 0555);
    TempHost::MakeFolder(host.OnC("M"));
    ASSERT_EQ(mkfifo(host.OnC("M/pipe.inf").c_str(), 0644), 0);
    struct Case {
        const char* path;
        const char* says;
    } cases[] = {
        {"C:\\ro\\a.inf", "the file is read-only"},
        {"C:\\rodir\\b.inf", "the folder that holds the file is read-only"},
        {"C:\\rodir\\new.inf", "the folder is read-only"},
        {"C:\\M\\pipe.inf", "not a file"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(ErrorOf([&] { WriteTextLines(c.path, {"new"}); }, &why), ErrorKind::FileError);
        EXPECT_NE(why.find(c.says), std::string::npos) << c.path << ": " << why;
    }
    EXPECT_EQ(TempHost::Read(host.OnC("rodir/b.inf")), "old");
    EXPECT_EQ(TempHost::Read(host.OnC("ro/a.inf")), "old");
    for (const char* folder : {"ro", "M"}) // no temporary file left behind
        EXPECT_EQ(Hidden(host.OnC(folder)), 0) << folder;
}
