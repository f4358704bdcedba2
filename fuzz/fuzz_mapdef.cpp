// ReadMapDefinition and the editor's loader on arbitrary file contents.
#include "mapdef/MapCode.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
const std::string& Folder() {
    static const std::string folder = [] {
        char tmpl[] = "/tmp/varnet-fuzz-XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        return std::string(tmpl);
    }();
    return folder;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string file = Folder() + "/map.inf";
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    float a = 0, b = 0, c = 0, d = 0;
    std::string image, tl, br;
    MapCode::ReadMapDefinition(Folder() + "\\", file, a, b, c, d, image, tl, br);
    try {
        MapCode::ReadEditorItems(file, Folder(), [](int, const std::string&) {});
    } catch (const CoreError&) {
    }
    return 0;
}
