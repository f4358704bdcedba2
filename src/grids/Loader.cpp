// The programs' side of the PROJ module: looked for beside the program (a build tree) and then in
// the library folder it is installed in, loaded once on first use. Nothing of PROJ is linked
// into the programs.
#include "grids/Module.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace Grids::Detail {
namespace {

constexpr const char* kModuleFile = "libvarnet-grids.so";

// dlerror's text, without the file name it starts with when the caller names the file anyway.
std::string Reason(const std::string& path) {
    const char* said = dlerror();
    std::string reason = said ? said : "no reason given";
    if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
    return reason;
}

std::string Unloadable(const std::string& path, const std::string& reason) {
    return "Varnet's module for PROJ, " + path + ", cannot be loaded: " + reason;
}

const ModuleTable* Load(std::string& why) {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec || program.empty()) {
        why = "Varnet's module for PROJ cannot be found: the program's own folder is unknown "
              "(/proc/self/exe: " +
              ec.message() + ")";
        return nullptr;
    }
    const std::string beside = (program / kModuleFile).string();
    // VARNET_MODULE_FROM_BIN: the installed module's folder relative to the programs' folder.
    const std::string installed =
        (program / VARNET_MODULE_FROM_BIN / kModuleFile).lexically_normal().string();
    const std::string path = fs::exists(beside, ec) ? beside : installed;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        why = Unloadable(path, Reason(path));
        if (path == installed)
            why += " (nor is it beside the program, in " + program.string() + ")";
        return nullptr;
    }
    using Entry = const ModuleTable* (*)(int);
    const auto entry = reinterpret_cast<Entry>(dlsym(module, "VarnetGridsModule"));
    const ModuleTable* table = entry ? entry(kModuleInterface) : nullptr;
    if (!table) {
        why = Unloadable(path, entry ? "it was built for another version of Varnet" : Reason(path));
        dlclose(module);
    }
    return table; // the module stays loaded until the program ends
}

} // namespace

const ModuleTable* LoadModule(std::string& why) {
    static std::mutex lock;
    static const ModuleTable* table = nullptr;
    std::lock_guard guard(lock);
    // A failure is not kept: the module may be installed while the program runs.
    if (!table) table = Load(why);
    return table;
}

} // namespace Grids::Detail
