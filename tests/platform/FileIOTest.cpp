#include "platform/FileIO.h"
#include "platform/CoreError.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Platform;

namespace {
std::vector<std::string> Lines(const std::string& win) {
    TextReader r(win);
    std::vector<std::string> out;
    while (!r.Eof()) out.push_back(r.ReadLine());
    return out;
}
} // namespace

TEST(TextReader, AcceptsEveryLineEnd) {
    TempHost host;
    using V = std::vector<std::string>;
    struct Case {
        std::string bytes;
        V lines;
    } cases[] = {
        {"a,b\r\nc\r\n", {"a,b", "c"}}, {"a\nb\n", {"a", "b"}},     {"a\rb\r", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}}, {"a\n\rb", {"a", "", "b"}}, {"", {}},
        {"\xE9t\xE9", {"\xE9t\xE9"}},
    };
    for (const auto& c : cases) {
        TempHost::Write(host.OnC("t.txt"), c.bytes);
        EXPECT_EQ(Lines(TEST_DRIVE "\\t.txt"), c.lines) << c.bytes;
    }
}

TEST(TextReader, FailuresAreClearErrors) {
    TempHost host;
    TempHost::Write(host.OnC("short.inf"), "a,b\r\n");
    TempHost::MakeFolder(host.OnC("folder"));
    auto lines = [](const char* path, int n) {
        return [=] {
            TextReader r(path);
            for (int i = 0; i < n; ++i) r.ReadLine();
        };
    };
    EXPECT_EQ(ErrorOf(lines(TEST_DRIVE "\\missing.inf", 0)), ErrorKind::FileError);
    EXPECT_EQ(ErrorOf(lines(TEST_DRIVE "\\folder", 0)), ErrorKind::FileError);
    EXPECT_EQ(ErrorOf(lines("Q:\\a.inf", 0)), ErrorKind::FileError);
    EXPECT_EQ(ErrorOf(lines(TEST_DRIVE "\\short.inf", 2)), ErrorKind::InputPastEnd);
    // An endless line is refused with bounded memory.
    TempHost::Write(host.OnC("long.inf"), std::string(kMaxLineLength + 10, 'x'));
    EXPECT_NE(ErrorOf(lines(TEST_DRIVE "\\long.inf", 1)), std::nullopt);
#ifndef _WIN32
    // A read that fails after the open (the kernel refuses reads of this file at offset 0).
    EXPECT_EQ(ErrorOf(lines("Z:\\proc\\self\\mem", 1)), ErrorKind::FileError);
    if (geteuid() != 0) {
        TempHost::Write(host.OnC("secret.inf"), "x");
        chmod(host.OnC("secret.inf").c_str(), 0);
        EXPECT_EQ(ErrorOf(lines(TEST_DRIVE "\\secret.inf", 0)), ErrorKind::FileError);
    }
#endif
}

TEST(WriteTextLines, ReplacesAtomicallyWithCrLfAndKeepsPermissions) {
    TempHost host;
    TempHost::Write(host.OnC("Maps/a.inf"), "old\r\n");
#ifndef _WIN32
    chmod(host.OnC("Maps/a.inf").c_str(), 0640);
#endif
    WriteTextLines(TEST_DRIVE "\\maps\\A.inf",
                   {"51.30.00N,001.30.00W", "51.00.00N,000.30.00W", "l.gif"});
    EXPECT_EQ(TempHost::Read(host.OnC("Maps/a.inf")),
              "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nl.gif\r\n");
#ifndef _WIN32
    struct stat st {};
    stat(host.OnC("Maps/a.inf").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
    WriteTextLines(TEST_DRIVE "\\Maps\\new.inf", {"x"});
    EXPECT_EQ(TempHost::Read(host.OnC("Maps/new.inf")), "x\r\n");
}
