#include "georef/GdalSupport.h"

#include "platform/FileIO.h"
#include "platform/WinPath.h"

#include <cpl_error.h>
#include <gdal.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

namespace fs = std::filesystem;

namespace Georef::Detail {
namespace {

void CPL_STDCALL Handler(CPLErr errorClass, CPLErrorNum number, const char* message) {
    static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData())
        ->Record(errorClass >= CE_Failure, number == CPLE_UserInterrupt, message);
}

} // namespace

void EnsureGdal() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

ErrorCapture::ErrorCapture() {
    CPLPushErrorHandlerEx(Handler, this);
}
ErrorCapture::~ErrorCapture() {
    CPLPopErrorHandler();
}

void ErrorCapture::Record(bool failure, bool interrupted, const char* message) {
    if (interrupted) interrupted_ = true;
    if (failure && message && *message) last_ = message;
}

std::string ErrorCapture::Reason(const std::string& fallback) const {
    std::string reason = last_.empty() ? fallback : last_;
    // The caller ends the sentence: GDAL's own full stop would double it.
    while (!reason.empty() &&
           (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\n'))
        reason.pop_back();
    return reason;
}

OGRSpatialReference DatumSrs(Datum datum) {
    OGRSpatialReference srs;
    srs.importFromEPSG(datum == Datum::WGS84 ? 4326 : 4277);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

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

bool ReadPrj(const std::string& path, OGRSpatialReference& srs, std::string& why) {
    std::string text;
    if (!Platform::ReadWholeFile(path, text, 64 * 1024, &why)) return false;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    EnsureGdal();
    ErrorCapture errors;
    if (srs.SetFromUserInput(text.c_str(),
                             OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) ==
        OGRERR_NONE)
        return true;
    why = errors.Reason("not a coordinate system GDAL reads");
    return false;
}

std::string CoreFileName(const std::string& path) {
    return Platform::NativeNameToCore(fs::path(path).filename().string());
}

} // namespace Georef::Detail
