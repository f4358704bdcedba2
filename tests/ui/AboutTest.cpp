#include "platform/Process.h"
#include "support/AppTest.h"
#include "ui/frmAbout.h"

#include <filesystem>
#include <sys/stat.h>

namespace {
const char* const kPlace1 = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const char* const kPlace2 = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";
const Messages kUnavailable = {{"System Information Is Unavailable At This Time", 0, "Varnet"}};
} // namespace

class AboutTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Platform::SetStartProgramHook([this](const std::string& path, std::string* error) {
            started.push_back(path);
            if (!fails && !path.empty()) return true;
            if (error) *error = "File not found";
            return false;
        });
    }
    void Registry(const std::string& text) {
        TempHost::Write(host.Root() + "/registry.reg", "REGEDIT4\n" + text);
    }
    std::vector<std::string> started;
    bool fails = false;
};

TEST_F(AboutTest, SystemInformationIsFoundInEitherPlace) {
    const std::string pathValue = "\"PATH\"=\"C:\\\\Tools\\\\msinfo.exe\"\n";
    const std::string folderValue = "\"MSINFO\"=\"C:\\\\Shared\"\n";
    const std::string fullBuffer = "\"PATH\"=hex(1):" + [] {
        std::string hex;
        for (int i = 0; i < 1024; ++i) hex += i ? ",41" : "41";
        return hex;
    }() + "\n";
    struct Case {
        const char* what;
        std::string registry;
        bool toolInFolder;
        std::vector<std::string> started;
        bool unavailable;
    } cases[] = {
        {"place 1",
         kPlace1 + pathValue + kPlace2 + folderValue,
         false,
         {"C:\\Tools\\msinfo.exe"},
         false},
        {"place 2 with the tool", kPlace2 + folderValue, true, {"C:\\Shared\\MSINFO32.EXE"}, false},
        {"place 2 without it", kPlace2 + folderValue, false, {}, true},
        {"neither", "", true, {}, true},
        {"a double word at place 1",
         kPlace1 + std::string("\"PATH\"=dword:0000002a\n"),
         false,
         {"42"},
         false},
        // Read, but left empty: a program with no name cannot start.
        {"another type at place 1",
         kPlace1 + std::string("\"PATH\"=hex(3):41,00\n"),
         false,
         {""},
         true},
        {"a value filling the whole buffer", kPlace1 + fullBuffer, false, {}, true},
        {"a value beyond the buffer",
         kPlace1 + std::string("\"PATH\"=\"") + std::string(1024, 'x') + "\"\n" + kPlace2 +
             folderValue,
         true,
         {"C:\\Shared\\MSINFO32.EXE"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Registry(c.registry);
        if (c.toolInFolder)
            TempHost::Write(host.OnC("Shared/msinfo32.exe"), "x");
        else
            std::filesystem::remove(host.OnC("Shared/msinfo32.exe"));
        started.clear();
        messages.clear();
        frmAbout::Instance().cmdSysInfo->click();
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(messages, c.unavailable ? kUnavailable : Messages{});
        EXPECT_TRUE(frmAbout::Loaded()); // the dialog stays open
    }
}

TEST_F(AboutTest, AToolThatCannotStartAndAKeyTheUserMayOnlyRead) {
    Registry(kPlace1 + std::string("\"PATH\"=\"C:\\\\Tools\\\\msinfo.exe\"\n"));
    fails = true;
    frmAbout::Instance().cmdSysInfo_Click();
    EXPECT_EQ(messages, kUnavailable);

    // An ordinary user may read the machine's keys but not change them.
    fails = false;
    messages.clear();
    started.clear();
    chmod((host.Root() + "/registry.reg").c_str(), 0444);
    frmAbout::Instance().cmdSysInfo_Click();
    frmAbout::Instance().cmdSysInfo_Click(); // twice starts it twice
    EXPECT_EQ(started,
              (std::vector<std::string>{"C:\\Tools\\msinfo.exe", "C:\\Tools\\msinfo.exe"}));
    EXPECT_TRUE(messages.empty());

    std::string value = "kept";
    EXPECT_FALSE(frmAbout::Instance().GetKeyValue(Platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\None",
                                                  "PATH", value));
    EXPECT_EQ(value, "");
}
