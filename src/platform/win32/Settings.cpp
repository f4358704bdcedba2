// The per-user settings store on Windows is where the host program itself keeps its settings:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, string values.
#include "platform/Settings.h"

#include <windows.h>

namespace Platform {
namespace {

std::string KeyOf(const std::string& application, const std::string& section = {}) {
    std::string key = "Software\\VB and VBA Program Settings\\" + application;
    return section.empty() ? key : key + "\\" + section;
}

std::string Describe(LONG status) {
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     DWORD(status), 0, text, sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s.empty() ? "Windows error " + std::to_string(status) : s;
}

} // namespace

std::string SettingsFile(const std::string& application) {
    return "HKEY_CURRENT_USER\\" + KeyOf(application);
}

std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    ::HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, KeyOf(application, section).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0, size = 0;
    std::string value;
    LONG status = ::RegQueryValueExA(k, key.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        value.resize(size);
        status = ::RegQueryValueExA(k, key.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(value.data()), &size);
        value.resize(std::min<std::size_t>(size, value.size()));
        while (!value.empty() && value.back() == '\0') value.pop_back();
    }
    ::RegCloseKey(k);
    return status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? value
                                                                                : defaultValue;
}

bool SaveSettings(const std::string& application, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values,
                  std::string* error) {
    ::HKEY k = nullptr;
    LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, KeyOf(application, section).c_str(), 0,
                                    nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr);
    for (std::size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i)
        status = ::RegSetValueExA(k, values[i].first.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(values[i].second.c_str()),
                                  DWORD(values[i].second.size() + 1));
    if (k) ::RegCloseKey(k);
    if (status != ERROR_SUCCESS && error) *error = Describe(status);
    return status == ERROR_SUCCESS;
}

bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error) {
    return SaveSettings(application, section, {{key, value}}, error);
}

} // namespace Platform
