#include "georef/ModuleFile.h"

#include <dlfcn.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace Georef::Detail {
namespace {

// dlerror's text, without the file name it starts with when the caller names the file anyway.
std::string Reason(const std::string& path) {
    const char* said = dlerror();
    std::string reason = said ? said : "no reason given";
    if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
    return reason;
}

} // namespace

bool LoadModuleFile(const std::string& file, const char* symbol, const std::string& what,
                    const std::function<bool(void* entry)>& take, std::string& why,
                    std::string* loaded) {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec || program.empty()) {
        why = what + " cannot be found: the program's own folder is unknown (/proc/self/exe: " +
              ec.message() + ")";
        return false;
    }
    const std::string beside = (program / file).string();
    // VARNET_MODULE_FROM_BIN: the installed modules' folder relative to the programs' folder.
    const std::string installed =
        (program / VARNET_MODULE_FROM_BIN / file).lexically_normal().string();
    // The first that exists is the one meant; when neither does, the installed place is missing.
    const std::string path = fs::exists(beside, ec) ? beside : installed;
    auto unloadable = [&](const std::string& reason) {
        why = what + ", " + path + ", cannot be loaded: " + reason;
        return false;
    };
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        unloadable(Reason(path));
        if (path == installed)
            why += " (nor is it beside the program, in " + program.string() + ")";
        return false;
    }
    void* entry = dlsym(module, symbol);
    if (entry && take(entry)) {
        if (loaded) *loaded = fs::canonical(path, ec).string();
        return true; // the module stays loaded until the program ends
    }
    unloadable(entry ? "it was built for another version of Varnet" : Reason(path));
    dlclose(module);
    return false;
}

} // namespace Georef::Detail
