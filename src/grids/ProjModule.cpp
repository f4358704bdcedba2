// The PROJ module's table: coordinate systems described and points converted through PROJ's C
// interface, with one context whose operations are made once per pair of systems and kept.
#include "grids/Module.h"

#include <proj.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numbers>
#include <utility>

namespace Grids::Detail {
namespace {

// PROJ's objects made so far. A context and its objects serve one thread at a time: the lock
// is held across every use. They live as long as the program, and are never destroyed.
struct Proj {
    Proj() : context(proj_context_create()) {
        proj_log_level(context, PJ_LOG_NONE); // failures come back as values, not as lines
    }
    std::mutex lock;
    PJ_CONTEXT* context;
    std::map<std::pair<int, int>, PJ*> operations;
    std::map<int, CrsInfo> systems;
};

Proj& State() {
    static Proj* const proj = new Proj;
    return *proj;
}

std::string LastError(PJ_CONTEXT* context) {
    const char* said = proj_context_errno_string(context, proj_context_errno(context));
    return said && *said ? said : "PROJ gives no reason";
}

// The EPSG code of an object, 0 when the register does not name it.
int CodeOf(const PJ* object) {
    const char* authority = object ? proj_get_id_auth_name(object, 0) : nullptr;
    const char* code = object ? proj_get_id_code(object, 0) : nullptr;
    return authority && code && std::string(authority) == "EPSG" ? std::atoi(code) : 0;
}

// Whether a system's coordinate system has two axes, and (for a geographic one) in degrees.
bool TwoAxes(PJ_CONTEXT* context, const PJ* crs, bool geographic) {
    PJ* cs = proj_crs_get_coordinate_system(context, crs);
    bool fits = cs && proj_cs_get_axis_count(context, cs) == 2;
    double factor = 0;
    if (fits && geographic &&
        proj_cs_get_axis_info(context, cs, 0, nullptr, nullptr, nullptr, &factor, nullptr, nullptr,
                              nullptr))
        fits = std::fabs(factor - std::numbers::pi / 180) < 1e-12;
    proj_destroy(cs);
    return fits;
}

CrsInfo Describe(PJ_CONTEXT* context, int code) {
    CrsInfo info;
    const std::string name = "EPSG:" + std::to_string(code);
    PJ* crs = proj_create_from_database(context, "EPSG", std::to_string(code).c_str(),
                                        PJ_CATEGORY_CRS, 0, nullptr);
    if (!crs) {
        info.why = "PROJ knows no coordinate system " + name;
        return info;
    }
    info.name = proj_get_name(crs) ? proj_get_name(crs) : "";
    const PJ_TYPE type = proj_get_type(crs);
    info.geographic = type == PJ_TYPE_GEOGRAPHIC_2D_CRS;
    info.usable = (info.geographic || type == PJ_TYPE_PROJECTED_CRS) &&
                  TwoAxes(context, crs, info.geographic);
    if (!info.usable)
        info.why = name + " (" + info.name +
                   ") is neither latitude and longitude in degrees nor a projection of two axes";
    double box[4];
    if (proj_get_area_of_use(context, crs, &box[0], &box[1], &box[2], &box[3], nullptr) &&
        box[0] > -1000) {
        info.west = box[0], info.south = box[1], info.east = box[2], info.north = box[3];
    }
    PJ* base = proj_crs_get_geodetic_crs(context, crs);
    info.base = CodeOf(base);
    proj_destroy(base);
    proj_destroy(crs);
    return info;
}

// The operation from one system to another, made on first use; null with why when PROJ has none.
PJ* Operation(Proj& proj, int from, int to, std::string& why) {
    PJ*& kept = proj.operations[{from, to}];
    if (kept) return kept;
    const std::string source = "EPSG:" + std::to_string(from),
                      target = "EPSG:" + std::to_string(to);
    PJ* made = proj_create_crs_to_crs(proj.context, source.c_str(), target.c_str(), nullptr);
    if (!made) {
        why = "PROJ has no operation from " + source + " to " + target + ": " +
              LastError(proj.context);
        proj.operations.erase({from, to});
        return nullptr;
    }
    // Longitude or easting first, whatever order the register gives the axes.
    kept = proj_normalize_for_visualization(proj.context, made);
    proj_destroy(made);
    if (!kept) {
        why = "PROJ cannot order the axes from " + source + " to " + target;
        proj.operations.erase({from, to});
    }
    return kept;
}

CrsInfo DescribeKept(int code) {
    Proj& proj = State();
    std::lock_guard guard(proj.lock);
    const auto found = proj.systems.find(code);
    if (found != proj.systems.end()) return found->second;
    return proj.systems[code] = Describe(proj.context, code);
}

bool Transform(int from, int to, double* x, double* y, std::size_t count, std::string& why) {
    if (from == to || count == 0) return true;
    Proj& proj = State();
    std::lock_guard guard(proj.lock);
    PJ* operation = Operation(proj, from, to, why);
    if (!operation) return false;
    proj_trans_generic(operation, PJ_FWD, x, sizeof *x, count, y, sizeof *y, count, nullptr, 0, 0,
                       nullptr, 0, 0);
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) // PROJ's HUGE_VAL
            x[i] = y[i] = std::nan("");
    proj_errno_reset(operation);
    return true;
}

constexpr ModuleTable kTable{DescribeKept, Transform};

} // namespace
} // namespace Grids::Detail

extern "C" __attribute__((visibility("default"))) const Grids::Detail::ModuleTable*
VarnetGridsModule(int interface) {
    return interface == Grids::Detail::kModuleInterface ? &Grids::Detail::kTable : nullptr;
}
