#include "platform/WinPath.h"

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Native.h"
#include "platform/Text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <vector>

namespace Platform {
namespace {

bool Exists(const std::string& native) {
    struct stat st {};
    return lstat(native.c_str(), &st) == 0;
}

std::string Join(const std::string& base, const std::string& name) {
    if (!base.empty() && base.back() == '/') return base + name;
    return base + "/" + name;
}

} // namespace

std::optional<std::string> DriveRoot(char letter) {
    if (!Native::IsDriveLetter(letter)) return std::nullopt;
    const char lower = static_cast<char>(letter | 0x20);
    const char upper = static_cast<char>(letter & ~0x20);
    // A drive's link, once found, is remembered for as long as the drive folder's place stays
    // the same: the kernel follows it to wherever it points now, so only the look-up is saved
    // (a library of many thousands of files opens each).
    struct Found {
        std::string wine, home;
        std::array<std::string, 26> links;
    };
    static thread_local Found found;
    const char* wine = std::getenv("WINEPREFIX");
    const char* home = std::getenv("HOME");
    if (found.wine != (wine ? wine : "") || found.home != (home ? home : "")) {
        found = Found{wine ? wine : "", home ? home : "", {}};
    }
    std::string& known = found.links[std::size_t(upper - 'A')];
    if (!known.empty()) return known;
    const std::string dos = WinePrefix() + "/dosdevices/";
    for (char c : {lower, upper}) {
        const std::string link = dos + c + ":";
        struct stat st {};
        if (stat(link.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            known = link;
            return link;
        }
    }
    // Z: without a link stands for "/", remembered like a link: every POSIX path asks again.
    if (upper == 'Z') return known = "/";
    return std::nullopt;
}

namespace {

struct Split {
    std::string base;               // the native folder the path starts from
    std::vector<std::string> parts; // its components, UTF-8
    bool trailing = false;          // a trailing separator: the path names a folder
};

std::optional<Split> SplitPath(const std::string& winPath) {
    std::string base;
    std::size_t start = 0;
    if (winPath.size() >= 2 && Native::IsSeparator(winPath[0]) && Native::IsSeparator(winPath[1])) {
        return std::nullopt; // UNC: no network shares here
    } else if (winPath.size() >= 2 && Native::IsDriveLetter(winPath[0]) && winPath[1] == ':') {
        auto root = DriveRoot(winPath[0]);
        if (!root) return std::nullopt;
        base = *root;
        start = 2;
    } else if (!winPath.empty() && Native::IsSeparator(winPath[0])) {
        base = "/"; // a POSIX absolute path: the same folder under Z:
        if (auto root = DriveRoot('Z')) base = *root;
    } else {
        char cwd[4096];
        base = getcwd(cwd, sizeof cwd) ? cwd : ".";
    }

    std::vector<std::string> parts;
    std::string cur;
    for (std::size_t i = start; i <= winPath.size(); ++i) {
        if (i == winPath.size() || Native::IsSeparator(winPath[i])) {
            if (cur == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!cur.empty() && cur != ".") {
                parts.push_back(Cp1252ToUtf8(cur));
            }
            cur.clear();
        } else {
            cur += winPath[i];
        }
    }
    const bool trailing = !winPath.empty() && Native::IsSeparator(winPath.back()) && !parts.empty();
    return Split{std::move(base), std::move(parts), trailing};
}

std::string JoinAll(const Split& s) {
    std::string direct = s.base;
    for (const auto& p : s.parts) direct = Join(direct, p);
    return s.trailing ? direct + "/" : direct;
}

} // namespace

std::optional<std::string> DirectNativePath(const std::string& winPath) {
    // The common case in one pass: a drive letter and plain ASCII components, no "." or "..".
    if (winPath.size() >= 3 && Native::IsDriveLetter(winPath[0]) && winPath[1] == ':' &&
        Native::IsSeparator(winPath[2]) && winPath.find("\\.") == std::string::npos &&
        winPath.find("/.") == std::string::npos) {
        bool ascii = true;
        for (char c : winPath) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        auto root = DriveRoot(winPath[0]);
        if (ascii && root) {
            std::string out = *root;
            out.reserve(out.size() + winPath.size());
            for (std::size_t i = 2; i < winPath.size(); ++i) {
                const char c = Native::IsSeparator(winPath[i]) ? '/' : winPath[i];
                if (c == '/' && !out.empty() && out.back() == '/') continue;
                out += c;
            }
            return out;
        }
    }
    auto split = SplitPath(winPath);
    if (!split) return std::nullopt;
    return JoinAll(*split);
}

std::optional<std::string> ToNativePath(const std::string& winPath) {
    auto split = SplitPath(winPath);
    if (!split) return std::nullopt;
    const auto& [base, parts, trailing] = *split;
    const std::string direct = JoinAll(*split);
    if (parts.empty() || Exists(direct)) return direct;

    // Case-insensitive lookup, component by component; an exact match wins.
    std::string path = base;
    bool lookingUp = true;
    for (const auto& p : parts) {
        std::string next = Join(path, p);
        if (lookingUp && !Exists(next)) {
            if (auto name = FindEntryNoCase(path, Utf8ToCp1252(p)))
                next = Join(path, *name);
            else
                lookingUp = false; // the rest does not exist: keep it as written
        }
        path = std::move(next);
    }
    return trailing ? path + "/" : path;
}

std::string NativeNameToCore(const std::string& native, bool* lossless) {
    return Utf8ToCp1252(native, lossless);
}

std::string CoreNameToNative(const std::string& core) {
    return Cp1252ToUtf8(core);
}

} // namespace Platform
