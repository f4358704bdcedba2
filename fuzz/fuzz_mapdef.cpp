// ReadMapDefinition and the editor's loader on arbitrary definition bytes, fed from memory. The
// image names are completed on a drive with no folder behind it, so a look-up ends at once.
#include "mapdef/MapCode.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static const int prefix = setenv("WINEPREFIX", "/nonexistent/varnet-fuzz", 1);
    (void)prefix;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string folder = "Q:\\Maps";
    float a = 0, b = 0, c = 0, d = 0;
    std::string image, tl, br;
    MapCode::ReadMapDefinitionBytes(folder, bytes, a, b, c, d, image, tl, br);
    try {
        MapCode::ReadEditorItemsBytes(bytes, folder, [](int, const std::string&) {});
    } catch (const CoreError&) {
    }
    return 0;
}
