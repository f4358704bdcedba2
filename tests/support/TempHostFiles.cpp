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

std::string TempHost::Bmp(int width, int height) {
    const int stride = (width * 3 + 3) / 4 * 4;
    const int size = 54 + stride * height;
    std::string b(std::size_t(size), '\x80');
    auto put = [&](int at, long value, int bytes) {
        for (int i = 0; i < bytes; ++i) b[std::size_t(at + i)] = char((value >> (8 * i)) & 0xFF);
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, size, 4);
    put(6, 0, 4);
    put(10, 54, 4); // the pixels' offset
    put(14, 40, 4); // the bitmap header's size
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);  // planes
    put(28, 24, 2); // bits per pixel
    put(30, 0, 4);  // uncompressed
    put(34, stride * height, 4);
    put(38, 2835, 4);
    put(42, 2835, 4);
    put(46, 0, 4);
    put(50, 0, 4);
    return b;
}
