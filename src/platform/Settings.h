#pragma once
// The per-user settings store: string values addressed by application, section and key.
// POSIX: ${XDG_CONFIG_HOME:-$HOME/.config}/<application>/settings.ini, one [section] each.

#include <string>

namespace Platform {

// The file that holds an application's settings (native path).
std::string SettingsFile(const std::string& application);

// The stored value, verbatim, or `defaultValue` when the file or the key is absent.
// Section and key names match without regard to case.
std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue);

// Stores one value; the file is replaced atomically and its folder created when needed.
// Returns false (with `error` filled when given) when the store cannot be written.
bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error = nullptr);

} // namespace Platform
