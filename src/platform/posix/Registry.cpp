#include "platform/Registry.h"

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

struct Value {
    std::uint32_t type = REG_NONE;
    std::vector<unsigned char> data;
};
// Value names upper-cased; "" is the key's default value.
using Key = std::map<std::string, Value>;

std::mutex gMutex;
std::map<HKEY, Key> gOpen;
HKEY gNextHandle = 0x1000;

std::optional<HKEY> RootOf(const std::string& name) {
    const std::string n = Upper(name);
    if (n == "HKEY_LOCAL_MACHINE" || n == "HKLM") return HKEY_LOCAL_MACHINE;
    if (n == "HKEY_CURRENT_USER" || n == "HKCU") return HKEY_CURRENT_USER;
    if (n == "HKEY_CLASSES_ROOT" || n == "HKCR") return HKEY_CLASSES_ROOT;
    if (n == "HKEY_USERS" || n == "HKU") return HKEY_USERS;
    return std::nullopt;
}

// Reads a quoted text starting at s[i] == '"'; \\ and \" are escapes. Advances i past it.
std::optional<std::string> Quoted(const std::string& s, std::size_t& i) {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string out;
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (s[i] == '"') {
            ++i;
            return out;
        } else {
            out += s[i];
        }
    }
    return std::nullopt;
}

std::optional<std::vector<unsigned char>> HexBytes(const std::string& s) {
    std::vector<unsigned char> out;
    std::string cur;
    auto flush = [&]() -> bool {
        if (cur.empty()) return true;
        if (cur.size() > 2) return false;
        out.push_back(static_cast<unsigned char>(std::stoul(cur, nullptr, 16)));
        cur.clear();
        return true;
    };
    for (char c : s) {
        if (c == ',') {
            if (!flush()) return std::nullopt;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else if (c != ' ' && c != '\t') {
            return std::nullopt;
        }
    }
    if (!flush()) return std::nullopt;
    return out;
}

std::optional<Value> ParseData(const std::string& s) {
    Value v;
    if (!s.empty() && s[0] == '"') {
        std::size_t i = 0;
        auto text = Quoted(s, i);
        if (!text || s.find_first_not_of(" \t", i) != std::string::npos) return std::nullopt;
        const std::string bytes = Utf8ToCp1252(*text);
        v.type = REG_SZ;
        v.data.assign(bytes.begin(), bytes.end());
        v.data.push_back(0);
        return v;
    }
    const std::string lower = Lower(s);
    if (lower.rfind("dword:", 0) == 0) {
        const std::string hex = s.substr(6);
        if (hex.empty() || hex.size() > 8 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        const auto n = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
        v.type = REG_DWORD;
        for (int k = 0; k < 4; ++k) v.data.push_back(static_cast<unsigned char>(n >> (8 * k)));
        return v;
    }
    if (lower.rfind("hex", 0) == 0) {
        std::size_t colon = lower.find(':');
        if (colon == std::string::npos) return std::nullopt;
        const std::string head = lower.substr(0, colon);
        if (head == "hex") {
            v.type = REG_BINARY;
        } else if (head.size() > 5 && head.rfind("hex(", 0) == 0 && head.back() == ')') {
            const std::string t = head.substr(4, head.size() - 5);
            if (t.empty() || t.find_first_not_of("0123456789abcdef") != std::string::npos)
                return std::nullopt;
            v.type = static_cast<std::uint32_t>(std::stoul(t, nullptr, 16));
        } else {
            return std::nullopt;
        }
        auto bytes = HexBytes(s.substr(colon + 1));
        if (!bytes) return std::nullopt;
        v.data = std::move(*bytes);
        return v;
    }
    return std::nullopt;
}

// A registry export of the keys a program reads is small; one past this bound is damaged.
constexpr std::size_t kMaxRegistryBytes = 16u << 20;

// The file's lines, continuation lines joined (a line ending in '\' after hex data goes on).
std::vector<std::string> JoinedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line, pending;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!pending.empty()) {
            const std::size_t first = line.find_first_not_of(" \t");
            line = pending + (first == std::string::npos ? "" : line.substr(first));
            pending.clear();
        }
        if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
            line.pop_back();
            pending = line;
            continue;
        }
        lines.push_back(line);
    }
    if (!pending.empty()) lines.push_back(pending);
    return lines;
}

using Keys = std::map<std::pair<HKEY, std::string>, Key>;

// The key a section line ("[HKEY_...\\path]") opens in `keys`; null for a deletion or a root
// this registry does not hold.
Key* KeyOfSection(const std::string& l, Keys& keys) {
    const std::size_t close = l.rfind(']');
    if (close == std::string::npos || l.size() < 2 || l[1] == '-') return nullptr;
    const std::string path = Utf8ToCp1252(l.substr(1, close - 1));
    const std::size_t slash = path.find('\\');
    auto root = RootOf(path.substr(0, slash));
    if (!root) return nullptr;
    const std::string sub = slash == std::string::npos ? "" : Upper(path.substr(slash + 1));
    return &keys[{*root, sub}];
}

// Stores the value a line ("name"=data or @=data) gives in the key; a line that gives none
// changes nothing.
void AddValue(const std::string& l, Key& key) {
    std::size_t i = 0;
    std::string name;
    if (l[0] == '@') {
        i = 1;
    } else {
        auto q = Quoted(l, i);
        if (!q) return;
        name = Utf8ToCp1252(*q);
    }
    if (i >= l.size() || l[i] != '=') return;
    std::string data = l.substr(i + 1);
    while (!data.empty() && (data.back() == ' ' || data.back() == '\t')) data.pop_back();
    if (auto v = ParseData(data)) key[Upper(name)] = std::move(*v);
}

// The whole registry file: key path (root handle + upper-cased path) -> values.
Keys Load() {
    Keys keys;
    std::string text;
    if (!ReadWholeFile(RegistryFile(), text, kMaxRegistryBytes)) return keys;
    bool header = false;
    Key* current = nullptr;
    for (const std::string& raw : JoinedLines(text)) {
        const std::size_t first = raw.find_first_not_of(" \t");
        if (first == std::string::npos || raw[first] == ';') continue;
        const std::string l = raw.substr(first);
        if (!header) {
            if (l != "REGEDIT4" && l != "Windows Registry Editor Version 5.00") return keys;
            header = true;
        } else if (l[0] == '[') {
            current = KeyOfSection(l, keys);
        } else if (current) {
            AddValue(l, *current);
        }
    }
    return keys;
}

// A file without any write bit is read-only for everyone, the superuser included.
bool UserMayWrite(const std::string& file) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) != 0 && access(file.c_str(), W_OK) == 0;
}

std::string Normalise(const char* subKey) {
    std::string s = subKey ? subKey : "";
    std::string out;
    for (char c : s) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return Upper(out);
}

} // namespace

std::string RegistryFile() {
    std::string f = GetEnv("VARNET_REGISTRY_FILE");
    return f.empty() ? std::string("/etc/varnet/registry.reg") : f;
}

long RegOpenKeyExA(HKEY root, const char* subKey, std::uint32_t, std::uint32_t samDesired,
                   HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = 0;
    if (root < HKEY_CLASSES_ROOT || root > HKEY_USERS) return ERROR_INVALID_HANDLE;
    auto keys = Load();
    auto it = keys.find({root, Normalise(subKey)});
    if (it == keys.end()) return ERROR_FILE_NOT_FOUND;
    constexpr std::uint32_t kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                           0x00010000 /*DELETE*/ | 0x00040000 /*WRITE_DAC*/ |
                                           0x00080000 /*WRITE_OWNER*/;
    if ((samDesired & kWriteRights) && !UserMayWrite(RegistryFile())) return ERROR_ACCESS_DENIED;
    std::lock_guard lock(gMutex);
    const HKEY h = gNextHandle++;
    gOpen[h] = std::move(it->second);
    *result = h;
    return ERROR_SUCCESS;
}

long RegQueryValueExA(HKEY key, const char* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* dataSize) {
    if (reserved && *reserved != 0) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(gMutex);
    auto k = gOpen.find(key);
    if (k == gOpen.end()) return ERROR_INVALID_HANDLE;
    auto v = k->second.find(Upper(valueName ? valueName : ""));
    if (v == k->second.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->second.type;
    const auto needed = static_cast<std::uint32_t>(v->second.data.size());
    if (data) {
        if (!dataSize) return ERROR_INVALID_PARAMETER;
        if (*dataSize < needed) {
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, v->second.data.data(), needed);
    }
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key) {
    std::lock_guard lock(gMutex);
    return gOpen.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace Platform
