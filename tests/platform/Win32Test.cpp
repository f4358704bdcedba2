// What only Windows does: the settings store in the current user's registry, the registry
// itself, drive types, hidden files and the replace through the system's own calls.
#include "platform/DirList.h"
#include "platform/Drive.h"
#include "platform/FileIO.h"
#include "platform/Native.h"
#include "platform/Registry.h"
#include "platform/Settings.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

namespace {
// The layer's names, taken before <windows.h> makes macros of the same names.
constexpr Platform::HKEY kCurrentUser = Platform::HKEY_CURRENT_USER;
constexpr std::uint32_t kRead = Platform::KEY_READ, kString = Platform::REG_SZ;
constexpr long kMoreData = Platform::ERROR_MORE_DATA;
} // namespace

#include <windows.h>
#undef GetDriveType

namespace {
// The key the host program's settings live under, written and read by the system's own calls.
std::string Stored(const char* app, const char* section, const char* key) {
    const std::string path =
        std::string("Software\\VB and VBA Program Settings\\") + app + "\\" + section;
    char value[256] = {};
    DWORD size = sizeof value, type = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, path.c_str(), key, RRF_RT_REG_SZ, &type, value, &size) !=
        ERROR_SUCCESS)
        return "(none)";
    return value;
}
struct TestKeys {
    ~TestKeys() {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\VarnetTest");
    }
};
} // namespace

TEST(Win32, SettingsLiveWhereTheHostKeepsItsOwn) {
    TestKeys cleanup;
    EXPECT_TRUE(Platform::SaveSettings("VarnetTest", "Settings",
                                       {{"MainLeft", "1500"}, {"MainTop", "C:\\Caf\xE9"}}));
    EXPECT_EQ(Stored("VarnetTest", "Settings", "MainLeft"), "1500");
    EXPECT_EQ(Platform::GetSetting("VarnetTest", "settings", "maintop", "x"), "C:\\Caf\xE9");
    EXPECT_EQ(Platform::GetSetting("VarnetTest", "Settings", "Missing", "default"), "default");
    EXPECT_EQ(Platform::GetSetting("NoSuchProgram", "S", "K", "default"), "default");

    // The machine's registry through the calls shaped like the system's.
    Platform::HKEY key = 0;
    ASSERT_EQ(Platform::RegOpenKeyExA(kCurrentUser,
                                      "Software\\VB and VBA Program Settings\\VarnetTest\\Settings",
                                      0, kRead, &key),
              0);
    char data[64] = {};
    std::uint32_t size = sizeof data, type = 0;
    EXPECT_EQ(Platform::RegQueryValueExA(key, "MainLeft", nullptr, &type,
                                         reinterpret_cast<unsigned char*>(data), &size),
              0);
    EXPECT_EQ(type, kString);
    EXPECT_STREQ(data, "1500");
    size = 2; // too small
    EXPECT_EQ(Platform::RegQueryValueExA(key, "MainLeft", nullptr, &type,
                                         reinterpret_cast<unsigned char*>(data), &size),
              kMoreData);
    EXPECT_EQ(Platform::RegCloseKey(key), 0);
    EXPECT_NE(Platform::RegOpenKeyExA(kCurrentUser, "Software\\NoSuchKeyVarnet", 0, kRead, &key),
              0);
}

TEST(Win32, DrivesListingsAndReplacesAreTheSystems) {
    TempHost host;
    EXPECT_EQ(Platform::GetDriveType("C:\\"), Platform::DriveFixed);
    EXPECT_EQ(Platform::GetDriveType("Q:\\"), Platform::DriveNoRootDir);

    TempHost::Write(host.OnC("M/shown.inf"), "x");
    TempHost::Write(host.OnC("M/hidden.inf"), "x");
    TempHost::Hide(host.OnC("M/hidden.inf"));
    Platform::DirListing listing;
    EXPECT_EQ(listing.First(TEST_DRIVE "\\M\\*.inf"), "shown.inf");
    EXPECT_EQ(listing.Next(), "");

    // The new contents replace the old at once, and a replace that cannot happen (the file is
    // held open without sharing by another program) leaves the old file and nothing else.
    Platform::WriteTextLines(TEST_DRIVE "\\M\\shown.inf", {"new"});
    EXPECT_EQ(TempHost::Read(host.OnC("M/shown.inf")), "new\r\n");
    HANDLE held = ::CreateFileA(host.OnC("M/shown.inf").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ErrorOf([] { Platform::WriteTextLines(TEST_DRIVE "\\M\\shown.inf", {"newer"}); }),
              ErrorKind::FileError);
    ::CloseHandle(held);
    EXPECT_EQ(TempHost::Read(host.OnC("M/shown.inf")), "new\r\n");
    // Another save's temporary file is its writer's while it may still be written (the system
    // keeps it from being removed only while it is open), and a leftover once it is old.
    const std::string other = host.OnC("M/") + Platform::Native::TempPrefix("shown.inf") + "0f0f0f";
    TempHost::Write(other, "half");
    Platform::WriteTextLines(TEST_DRIVE "\\M\\shown.inf", {"again"});
    EXPECT_TRUE(TempHost::Exists(other));
    HANDLE old = ::CreateFileA(other.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= 2 * 3600 * 10000000ull; // two hours, in the system's 100 ns
    const FILETIME then{t.LowPart, t.HighPart};
    ASSERT_TRUE(::SetFileTime(old, nullptr, nullptr, &then));
    ::CloseHandle(old);
    Platform::WriteTextLines(TEST_DRIVE "\\M\\shown.inf", {"again"});
    EXPECT_FALSE(TempHost::Exists(other));
    ASSERT_TRUE(Platform::ReplaceFileAtName(host.OnC("M/shown.inf"), "at the name"));
    EXPECT_EQ(TempHost::Read(host.OnC("M/shown.inf")), "at the name");
    // No temporary file of Varnet's is left (Wine's own ReplaceFile may leave one of its own).
    for (std::string n = listing.First(TEST_DRIVE "\\M\\*"); !n.empty(); n = listing.Next())
        EXPECT_NE(n.rfind(".varnet-", 0), 0u) << n;
}
