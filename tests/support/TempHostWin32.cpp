// The test host on Windows: the drive TEST_DRIVE stands for an empty folder that the test run
// provides (on Windows `subst T: <folder>`, under Wine a link in dosdevices), marked as the
// tests' own by a file "varnet-test-drive" at its root; each host empties it before and after.
// Tests that use it run one at a time.
#include "support/TempHost.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
const char* const kVars[] = {"HOME", "XDG_CONFIG_HOME", "WINEPREFIX", "VARNET_REGISTRY_FILE"};
std::atomic<int> made{0};
} // namespace

TempHost::TempHost() {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(sizeof temp, temp);
    root_ = std::string(temp) + "varnet-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(made++);
    fs::remove_all(root_);
    MakeFolder(root_ + "\\home");
    for (const char* v : kVars) {
        const char* old = std::getenv(v);
        savedEnv_.emplace_back(v, old ? old : std::string("\x01unset"));
    }
    _putenv_s("HOME", (root_ + "\\home").c_str());
    driveC_ = TEST_DRIVE "\\";
    if (!Exists(driveC_ + "varnet-test-drive"))
        throw std::runtime_error("the tests need " TEST_DRIVE " to stand for an empty folder of "
                                 "their own, with a file varnet-test-drive at its root");
    Empty(driveC_);
}

TempHost::~TempHost() {
    Empty(driveC_);
    for (const auto& [name, value] : savedEnv_)
        _putenv_s(name.c_str(), value == "\x01unset" ? "" : value.c_str());
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        ::SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(root_, ec);
}

void TempHost::LinkDrive(char, const std::string&) {
    throw std::runtime_error("drive letters are the system's own on Windows");
}

void TempHost::Empty(const std::string& drive) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(drive, ec)) {
        if (e.path().filename() == "varnet-test-drive") continue;
        for (auto it = fs::recursive_directory_iterator(e.path(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            ::SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        ::SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(e.path(), ec);
    }
}

void TempHost::Hide(const std::string& nativePath) {
    ::SetFileAttributesA(nativePath.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

void TempHost::MakeReadOnly(const std::string& nativePath) {
    ::SetFileAttributesA(nativePath.c_str(), FILE_ATTRIBUTE_READONLY);
}

void TempHost::WriteSettings(const std::string&, const std::string&) {
    throw std::runtime_error("on Windows the settings store is the registry");
}

std::string TempHost::MakeHost(const std::string&) {
    MakeFolder(OnC("Stelmar/Maps"));
    return OnC("Stelmar/Maps");
}
