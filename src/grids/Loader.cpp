// The programs' side of the PROJ module, loaded once on first use as Varnet's modules are
// (georef/ModuleFile.h). Nothing of PROJ is linked into the programs.
#include "grids/Module.h"

#include "georef/ModuleFile.h"

#include <mutex>

namespace Grids::Detail {

const ModuleTable* LoadModule(std::string& why) {
    static std::mutex lock;
    static const ModuleTable* table = nullptr;
    std::lock_guard guard(lock);
    // A failure is not kept: the module may be installed while the program runs.
    if (!table)
        Georef::Detail::LoadModuleFile(
            "libvarnet-grids.so", "VarnetGridsModule", "Varnet's module for PROJ",
            [](void* entry) {
                table = reinterpret_cast<const ModuleTable* (*)(int)>(entry)(kModuleInterface);
                return table != nullptr;
            },
            why);
    return table;
}

} // namespace Grids::Detail
