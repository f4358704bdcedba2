// The programs' side of the GDAL module: looked for beside the program (a build tree) and then in
// the library folder it is installed in, loaded once on first use; a KMZ export is forwarded to
// it, the exports that are text are written here. Nothing of GDAL is linked into the programs.
#include "georef/Module.h"
#include "georef/ModuleFile.h"
#include "georef/TextExports.h"

#include <mutex>

namespace Georef {
namespace Detail {
namespace {

const ModuleTable* Load(std::string& why, std::string& loaded) {
    const ModuleTable* table = nullptr;
    LoadModuleFile(
        "libvarnet-georef.so", "VarnetGeorefModule", "Varnet's module for GDAL and PROJ",
        [&](void* entry) {
            table = reinterpret_cast<const ModuleTable* (*)(int)>(entry)(kModuleInterface);
            return table != nullptr;
        },
        why, &loaded);
    return table;
}

} // namespace

const ModuleTable* LoadModule(std::string& why, std::string* file) {
    static std::mutex lock;
    static const ModuleTable* table = nullptr;
    static std::string loaded;
    std::lock_guard guard(lock);
    // A failure is not kept: the module may be installed while the program runs.
    if (!table) table = Load(why, loaded);
    if (file) *file = loaded;
    return table;
}

} // namespace Detail

namespace {

const Detail::ModuleTable& Module() {
    std::string why;
    if (const Detail::ModuleTable* table = Detail::LoadModule(why)) return *table;
    throw Error(Error::Kind::Unavailable, why + ".");
}

} // namespace

std::vector<std::string> Export(const ExportRequest& request) {
    return ExportFiles(request).paths;
}

ExportResult ExportFiles(const ExportRequest& request) {
    if (request.format == ExportFormat::Ozi || request.format == ExportFormat::World)
        return {Detail::ExportText(request)};
    return Module().exportMap(request);
}

std::string DatumPrj(Datum datum) {
    return Detail::PrjText(datum);
}

bool ScanSize(const std::string& scan, int& width, int& height, std::string& why) {
    const Detail::ModuleTable* table = Detail::LoadModule(why);
    return table && table->scanSize(scan, width, height, why);
}

bool PreviewScan(const std::string& scan, const std::string& jpeg, std::uint64_t maxPixels,
                 std::string& why) {
    const Detail::ModuleTable* table = Detail::LoadModule(why);
    return table && table->previewScan(scan, jpeg, maxPixels, why);
}

Fit FitScan(const FitRequest& request) {
    return Module().fitScan(request);
}

CalibrationResult Calibrate(const CalibrationRequest& request) {
    return Module().calibrate(request);
}

} // namespace Georef
