#include "library/HostFolder.h"

#include "platform/Settings.h"

namespace Library {
namespace {
constexpr const char* kApplication = "Tormund Systems";
constexpr const char* kSection = "Stelmar32";
constexpr const char* kKey = "Program Folder";
} // namespace

std::string HostFolder() {
    std::string folder = Platform::GetSetting(kApplication, kSection, kKey, "");
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string HostFolderSettingText() {
    return std::string(kKey) + " in [" + kSection + "] of " + Platform::SettingsFile(kApplication);
}

} // namespace Library
