// The definition reader and the editor's loader on arbitrary definition bytes, fed from memory. The
// image names are completed on a drive with no folder behind it, so a look-up ends at once.
#include "mapdef/MapCode.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static const int prefix = setenv("WINEPREFIX", "/nonexistent/varnet-fuzz", 1);
    (void)prefix;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string folder = "Q:\\Maps";
    MapCode::MapDefinition definition;
    MapCode::ReadDefinitionBytes(folder, bytes, definition);
    try {
        MapCode::ReadEditorItemsBytes(bytes, folder, [](int, const std::string&) {});
    } catch (const CoreError&) {
    }
    return 0;
}
