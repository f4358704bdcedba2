#include "support/TempHost.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

void TempHost::Write(const std::string& nativePath, const std::string& bytes) {
    MakeFolder(fs::path(nativePath).parent_path().string());
    std::ofstream f(nativePath, std::ios::binary | std::ios::trunc);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + nativePath);
}

std::string TempHost::Read(const std::string& nativePath) {
    std::ifstream f(nativePath, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool TempHost::Exists(const std::string& nativePath) {
    std::error_code ec;
    return fs::exists(nativePath, ec);
}

void TempHost::MakeFolder(const std::string& nativePath) {
    std::error_code ec;
    fs::create_directories(nativePath, ec);
}
