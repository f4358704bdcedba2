// The GDAL module's table: what the programs call once they have loaded it.
#include "georef/GdalSupport.h"
#include "georef/ScanFit.h"

namespace {

constexpr Georef::Detail::ModuleTable kTable{Georef::Gdal::ExportFiles,  Georef::Gdal::DatumPrj,
                                             Georef::Gdal::WorldFilePrj, Georef::Gdal::Shift,
                                             Georef::Gdal::ScanSize,     Georef::Gdal::PreviewScan,
                                             Georef::Gdal::FitScan,      Georef::Gdal::Calibrate};

} // namespace

extern "C" __attribute__((visibility("default"))) const Georef::Detail::ModuleTable*
VarnetGeorefModule(int interface) {
    return interface == Georef::Detail::kModuleInterface ? &kTable : nullptr;
}
