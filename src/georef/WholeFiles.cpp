// Files written whole: in the GDAL module (to write) and in the programs (to see what is there).
#include "georef/WholeFiles.h"

#include "georef/Georef.h"
#include "platform/FileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

namespace fs = std::filesystem;

namespace Georef::Detail {

std::string FreshTempPath(const std::string& folder, const std::string& stem) {
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex lock;
    for (;;) {
        std::uint64_t n;
        {
            std::lock_guard guard(lock);
            n = random();
        }
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(n));
        const std::string path =
            (fs::path(folder) / ("." + stem + "." + digits + ".part")).string();
        if (!Occupied(path)) return path;
    }
}

bool Occupied(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

void MoveOver(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) throw Error(Error::Kind::Failed, to + " could not be written: " + ec.message() + ".");
}

void WriteNew(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        const std::string why = errno ? std::strerror(errno) : "the write failed";
        std::error_code ec;
        fs::remove(path, ec);
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
    }
}

void WriteWhole(const std::string& path, const std::string& bytes) {
    std::string why;
    if (!Platform::ReplaceFileAtName(path, bytes, &why))
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
}

} // namespace Georef::Detail
