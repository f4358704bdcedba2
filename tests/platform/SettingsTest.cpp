#include "platform/Settings.h"
#include "support/TempHost.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;

TEST(Settings, ReadsHandWrittenValuesVerbatimWithoutRegardToCase) {
    TempHost host;
    struct Case {
        const char *section, *key, *expected;
    } cases[] = {
        {"Stelmar32", "Program Folder", "C:\\Stelmar\\"},
        {"STELMAR32", "program folder", "C:\\Stelmar\\"},
        {"Other", "Program Folder", "D:\\\\Two\\\\"},
        {"Stelmar32", "Missing", "dflt"},
        {"Missing", "Program Folder", "dflt"},
    };
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) { // an editor's byte-order mark
        host.WriteSettings("Tormund Systems", bom + "[Stelmar32]\nProgram Folder=C:\\Stelmar\\\n"
                                                    "[Other]\nProgram Folder=D:\\\\Two\\\\\n");
        for (const auto& c : cases)
            EXPECT_EQ(GetSetting("Tormund Systems", c.section, c.key, "dflt"), c.expected)
                << c.section << "/" << c.key << " " << bom.size();
    }
    EXPECT_EQ(GetSetting("Nobody", "S", "K", "fallback"), "fallback");
}

TEST(Settings, WritesCreateTheFolderKeepOtherValuesAndRoundTripBytes) {
    TempHost host;
    ASSERT_TRUE(SaveSetting("Varnet", "Settings", "MainLeft", "1000"));
    ASSERT_TRUE(SaveSetting("Varnet", "Settings", "MainTop", "2000.5"));
    ASSERT_TRUE(SaveSetting("Varnet", "settings", "mainleft", "1500"));
    const std::string latin = "C:\\Cartes \xC9t\xE9\\";
    ASSERT_TRUE(SaveSetting("Varnet", "Other", "Folder", latin));
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", ""), "1500");
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainTop", ""), "2000.5");
    EXPECT_EQ(GetSetting("Varnet", "Other", "Folder", ""), latin);
    // Native text on disk, no temporary files left behind.
    const std::string text = TempHost::Read(SettingsFile("Varnet"));
    EXPECT_NE(text.find("C:\\Cartes \xC3\x89t\xC3\xA9\\"), std::string::npos) << text;
    for (auto& e : std::filesystem::directory_iterator(host.Root() + "/home/.config/Varnet"))
        EXPECT_NE(e.path().filename().string().rfind(".varnet-", 0), 0u) << e.path();
}

TEST(Settings, AWriteChangesItsValuesAndNotOneOtherByte) {
    TempHost host;
    using Values = std::vector<std::pair<std::string, std::string>>;
    const Values placement = {{"MainLeft", "1500"}, {"MainTop", "900"}};
    struct Case {
        const char* what;
        std::string before, after;
    } cases[] = {
        {"values replaced in place, CR LF, comments and other sections kept",
         "; kept\r\n[Other]\r\nMainLeft=7\r\n[Settings]\r\nMainTop = 1\r\n# note\r\nMainLeft=2\r\n"
         "[Last]\r\nx=1\r\n",
         "; kept\r\n[Other]\r\nMainLeft=7\r\n[Settings]\r\nMainTop = 900\r\n# note\r\nMainLeft=1500"
         "\r\n[Last]\r\nx=1\r\n"},
        {"a NUL byte and what follows it survive",
         std::string("[Settings]\nodd=a\0b\n[Later]\nkey=v", 32),
         std::string("[Settings]\nodd=a\0b\nMainLeft=1500\nMainTop=900\n[Later]\nkey=v", 58)},
        {"new keys after the section's last key, in the file's line ends",
         "[settings]\r\nOther=1\r\n\r\n[Next]\r\n",
         "[settings]\r\nOther=1\r\nMainLeft=1500\r\nMainTop=900\r\n\r\n[Next]\r\n"},
        {"a missing section at the end, after a last line without its end", "[A]\na=1",
         "[A]\na=1\n[Settings]\nMainLeft=1500\nMainTop=900\n"},
        {"an empty value", "[Settings]\nMainLeft=\n", "[Settings]\nMainLeft=1500\nMainTop=900\n"},
        {"a byte-order mark read past and kept", "\xEF\xBB\xBF[Settings]\r\nMainLeft=1\r\n",
         "\xEF\xBB\xBF[Settings]\r\nMainLeft=1500\r\nMainTop=900\r\n"},
        {"a byte-order mark alone", "\xEF\xBB\xBF",
         "\xEF\xBB\xBF[Settings]\nMainLeft=1500\nMainTop=900\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.WriteSettings("Varnet", c.before);
        ASSERT_TRUE(SaveSettings("Varnet", "Settings", placement));
        EXPECT_EQ(TempHost::Read(SettingsFile("Varnet")), c.after);
        EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", ""), "1500");
    }
    // A file past the bound is damaged: its values are not used, and it is never written over.
    host.WriteSettings("Varnet", "[Settings]\nMainLeft=1\n;" + std::string(5 << 20, 'x') + "\n");
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", "default"), "default");
    std::string error;
    EXPECT_FALSE(SaveSettings("Varnet", "Settings", placement, &error));
    EXPECT_NE(error.find("File too long"), std::string::npos) << error;
    // What could not read back the same is refused, and the file is left as it was.
    host.WriteSettings("Varnet", "[Settings]\nMainLeft=1\n");
    const std::pair<const char*, const char*> unfit[] = {
        {"MainLeft", "2\n[Other]"}, {"MainLeft", "2 "}, {" MainLeft", "2"},
        {"Main=Left", "2"},         {";MainLeft", "2"}, {"[MainLeft", "2]"}};
    for (const auto& [key, value] : unfit) {
        EXPECT_FALSE(SaveSetting("Varnet", "Settings", key, value, &error)) << key << "=" << value;
        EXPECT_NE(error.find("cannot be stored"), std::string::npos) << error;
    }
    EXPECT_EQ(TempHost::Read(SettingsFile("Varnet")), "[Settings]\nMainLeft=1\n");
}

TEST(Settings, TwoProgramsSavingAtOnceKeepEveryValue) {
    TempHost host;
    constexpr int kSaves = 40;
    const pid_t first = getpid();
    EXPECT_EQ(InTwoProcessesAtOnce([&] {
                  const char* who = getpid() == first ? "first" : "second";
                  int failed = 0;
                  for (int i = 0; i < kSaves; ++i)
                      failed += !SaveSetting("Varnet", "Settings", who + std::to_string(i), who);
                  return failed;
              }),
              0);
    int lost = 0;
    for (int i = 0; i < kSaves; ++i)
        for (const char* who : {"first", "second"})
            lost += GetSetting("Varnet", "Settings", who + std::to_string(i), "") != who;
    EXPECT_EQ(lost, 0);
}

// A program that keeps the lock (stuck, or stopped in a debugger) holds a save up for a few
// seconds at most; the save then fails, saying so, and changes nothing.
TEST(Settings, ALockKeptByAnotherProgramFailsTheSave) {
    TempHost host;
    ASSERT_TRUE(SaveSetting("Varnet", "Settings", "MainLeft", "1"));
    const std::string file = SettingsFile("Varnet");
    const std::string lockFile = file.substr(0, file.rfind('/') + 1) + ".settings.ini.lock";
    const int kept = open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(kept, 0);
    ASSERT_EQ(flock(kept, LOCK_EX), 0);
    for (const char* value : {"2", "3"}) { // the second without waiting again
        std::string error;
        EXPECT_FALSE(SaveSetting("Varnet", "Settings", "MainLeft", value, &error));
        EXPECT_NE(error.find("locked"), std::string::npos) << error;
    }
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", ""), "1");
    close(kept);
    EXPECT_TRUE(SaveSetting("Varnet", "Settings", "MainLeft", "4"));
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", ""), "4");
}
