#pragma once
// The per-user settings store: string values addressed by application, section and key.
// POSIX: ${XDG_CONFIG_HOME:-$HOME/.config}/<application>/settings.ini, one [section] each.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform {

// The file that holds an application's settings (native path).
std::string SettingsFile(const std::string& application);

// The stored value, verbatim, or `defaultValue` when the file or the key is absent. Section and
// key names match without regard to case; a UTF-8 byte-order mark at the file's start is read
// past. A file that cannot be read (not a plain file, over a few MiB) gives the defaults, and
// its first reading says why on the standard error stream.
std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue);

// Stores values of one section in one atomic replace of the file, its folder created when
// needed. Every other byte of the file stays as it was: other sections and keys, comments,
// line ends, order, a byte-order mark; a stored key's line keeps its place. Saves by several
// programs at once take turns (POSIX: a lock on a hidden lock file beside the settings file),
// so each keeps its values; a save waits a few seconds at most for another program's turn to
// end (and not at all for a while after one has waited in vain), then fails. Returns false (with
// `error` filled when given) and changes nothing when the store cannot be read or written, or
// (POSIX) when a name or value could not read back the same (see StoreIniValues).
bool SaveSettings(const std::string& application, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values,
                  std::string* error = nullptr);
// One value.
bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error = nullptr);

// The INI text the POSIX store keeps per application, apart from its file (the fuzzers feed it):
// UTF-8 text, the names and values Windows-1252 as everywhere in the core.

// The value of `key` in `section`, as GetSetting reads it from the file, or nothing.
std::optional<std::string> IniValue(std::string_view text, const std::string& section,
                                    const std::string& key);
// Stores the values in the text as SaveSettings stores them in the file. False, with the reason
// in `error` when given and the text unchanged, when a name or value could not read back the
// same: one holding a line end or beginning or ending with a space or tab, a key holding '=' or
// beginning with ';', '#' or '['.
bool StoreIniValues(std::string& text, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    std::string* error = nullptr);

} // namespace Platform
