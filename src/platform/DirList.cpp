#include "platform/DirList.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <filesystem>

namespace Platform {
namespace {

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

bool IsDirectory(const std::string& native) {
    std::error_code ec;
    return std::filesystem::is_directory(native, ec);
}

} // namespace

std::string DirListing::First(const std::string& winPathOrPattern) {
    names_.clear();
    next_ = 0;
    error_.clear();

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
    if (!native) {
        error_ = "Path not found";
        return {};
    }

    // Within a pass over the folder its listing is read once; otherwise afresh each time.
    std::vector<FolderEntry> own;
    const std::vector<FolderEntry>* entries = &own;
    if (ReadBatch::Active())
        entries = ReadBatch::Listing(*native, &error_);
    else if (!ListFolder(*native, own, &error_))
        entries = nullptr;
    if (!entries) return {};
    for (const auto& e : *entries)
        if (e.regular && WildcardMatch(pattern, e.name)) names_.push_back(e.name);
    return Next();
}

std::string DirListing::Next() {
    if (next_ >= names_.size()) return {};
    return names_[next_++];
}

} // namespace Platform
