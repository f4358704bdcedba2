#pragma once
// Varnet's modules: shared libraries of its own (libvarnet-georef.so for GDAL and PROJ,
// libvarnet-grids.so for PROJ alone) that the programs load with dlopen on first use, so that
// they start without the libraries a module brings. A module is looked for beside the program (a
// build tree) and then in the library folder it is installed in. Private to the modules' loaders.

#include <functional>
#include <string>

namespace Georef::Detail {

// Loads the module `file` ("libvarnet-grids.so") for good and hands its entry point `symbol`
// (a function's address) to `take`, which keeps what it needs and says whether the module is of
// this build's interface. False, with `why` saying which file and the loader's reason (a
// sentence without its full stop, naming the module as `what`, "Varnet's module for PROJ"),
// when the module cannot be found or loaded, has no such entry point, or `take` refuses it (it
// is unloaded again). Never throws. `loaded`, when given, gets the path it was loaded from.
bool LoadModuleFile(const std::string& file, const char* symbol, const std::string& what,
                    const std::function<bool(void* entry)>& take, std::string& why,
                    std::string* loaded = nullptr);

} // namespace Georef::Detail
