#include "mapdef/MapCode.h"

#include "platform/FileIO.h"

namespace MapCode {
namespace {
std::string WithoutTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}
} // namespace

std::string FileFromPath(const std::string& path) {
    const std::string p = WithoutTrailingSeparator(path);
    const std::size_t i = p.rfind('\\');
    return i == std::string::npos ? std::string() : p.substr(i + 1);
}

std::string FolderFromPath(const std::string& path) {
    const std::string p = WithoutTrailingSeparator(path);
    const std::size_t i = p.rfind('\\');
    return i == std::string::npos ? std::string() : p.substr(0, i);
}

bool FileExists(const std::string& path) {
    try {
        return Platform::CanOpenForReading(WithoutTrailingSeparator(path));
    } catch (...) {
        return false;
    }
}

} // namespace MapCode
