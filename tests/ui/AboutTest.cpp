#include "platform/Process.h"
#include "support/AppTest.h"
#include "ui/frmAbout.h"

#include <filesystem>
#include <optional>
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
    const std::string p1 = kPlace1, p2 = kPlace2, path = "\"PATH\"=\"C:\\\\Tools\\\\msinfo.exe\"\n",
                      folder = "\"MSINFO\"=\"C:\\\\Shared\"\n", shared = "C:\\Shared\\MSINFO32.EXE";
    std::string full = "\"PATH\"=hex(1):41";
    for (int i = 1; i < 1024; ++i) full += ",41";
    struct Case {
        const char* what;
        std::string registry;
        bool toolInFolder;
        std::optional<std::string> started; // unless it starts, "unavailable" is said
    } cases[] = {
        {"place 1", p1 + path + p2 + folder, false, "C:\\Tools\\msinfo.exe"},
        {"place 2 with the tool", p2 + folder, true, shared},
        {"place 2 without it", p2 + folder, false, {}},
        {"neither", "", true, {}},
        {"a double word at place 1", p1 + "\"PATH\"=dword:0000002a\n", false, "42"},
        // Read, but left empty: a program with no name cannot start.
        {"another type at place 1", p1 + "\"PATH\"=hex(3):41,00\n", false, ""},
        {"a value filling the whole buffer", p1 + full + "\n", false, {}},
        {"a value beyond the buffer",
         p1 + "\"PATH\"=\"" + std::string(1024, 'x') + "\"\n" + p2 + folder, true, shared},
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
        EXPECT_EQ(started, c.started ? std::vector{*c.started} : std::vector<std::string>{});
        EXPECT_EQ(messages, c.started.value_or("").empty() ? kUnavailable : Messages{});
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
