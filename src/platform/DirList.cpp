#include "platform/DirList.h"

#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace Platform {
namespace {

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

bool IsDirectory(const std::string& native) {
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string DirListing::First(const std::string& winPathOrPattern) {
    names_.clear();
    next_ = 0;

    std::string folder = winPathOrPattern;
    std::string pattern = "*";
    const bool trailing = !folder.empty() && IsSep(folder.back());
    if (!trailing) {
        std::size_t cut = folder.size();
        while (cut > 0 && !IsSep(folder[cut - 1]) && !(cut == 2 && folder[1] == ':')) --cut;
        const std::string last = folder.substr(cut);
        const bool wild = last.find_first_of("*?") != std::string::npos;
        auto whole = ToNativePath(folder);
        if (wild || !whole || !IsDirectory(*whole)) {
            pattern = last;
            folder = folder.substr(0, cut);
        }
    }
    if (pattern.empty()) return {};
    auto native = ToNativePath(folder.empty() ? "." : folder);
    if (!native) return {};

    DIR* dir = opendir(native->c_str());
    if (!dir) return {};
    const std::string base = native->back() == '/' ? *native : *native + "/";
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue; // hidden, and the . and .. entries
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = stat((base + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular) continue;
        std::string name = Utf8ToCp1252(e->d_name);
        if (WildcardMatch(pattern, name)) names_.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names_.begin(), names_.end(),
              [](const std::string& a, const std::string& b) { return LessNoCase(a, b); });
    return Next();
}

std::string DirListing::Next() {
    if (next_ >= names_.size()) return {};
    return names_[next_++];
}

} // namespace Platform
