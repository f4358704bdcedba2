#include "platform/Settings.h"
#include "support/TempHost.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Platform;

TEST(Settings, ReadsHandWrittenValuesVerbatimWithoutRegardToCase) {
    TempHost host;
    host.WriteSettings("Tormund Systems", "[Stelmar32]\nProgram Folder=C:\\Stelmar\\\n"
                                          "[Other]\nProgram Folder=D:\\\\Two\\\\\n");
    struct Case {
        const char *section, *key, *expected;
    } cases[] = {
        {"Stelmar32", "Program Folder", "C:\\Stelmar\\"},
        {"STELMAR32", "program folder", "C:\\Stelmar\\"},
        {"Other", "Program Folder", "D:\\\\Two\\\\"},
        {"Stelmar32", "Missing", "dflt"},
        {"Missing", "Program Folder", "dflt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetSetting("Tormund Systems", c.section, c.key, "dflt"), c.expected)
            << c.section << "/" << c.key;
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
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(host.Root() + "/home/.config/Varnet"))
        entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

TEST(Settings, AnUnwritableStoreIsReportedAndLeftIntact) {
    TempHost host;
    ASSERT_TRUE(SaveSetting("Varnet", "Settings", "MainLeft", "1000"));
    const std::string folder = host.Root() + "/home/.config/Varnet";
    chmod((folder + "/settings.ini").c_str(), 0444);
    std::string error;
    EXPECT_FALSE(SaveSetting("Varnet", "Settings", "MainLeft", "5", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(GetSetting("Varnet", "Settings", "MainLeft", ""), "1000");
}
