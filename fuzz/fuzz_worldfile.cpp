// The world-file reader on arbitrary bytes, fed from memory, and the corners it gives pictures
// of a few sizes in both units. Whatever it refuses is a file error that says why; whatever it
// accepts places two distinct corners on the Earth that read back as coordinate texts.
#include "mapdef/MapCode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "world file: %s\n", what);
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = "Q:\\Maps\\m.jgw";
    MapCode::WorldFile world;
    try {
        world = MapCode::ReadWorldFileBytes(path, bytes);
    } catch (const CoreError& e) {
        Check(e.Kind() == ErrorKind::FileError && e.Description().rfind("The world file", 0) == 0,
              "a refusal that is no file error naming the file");
        return 0;
    }
    for (auto units : {MapCode::WorldUnits::Degrees, MapCode::WorldUnits::NationalGrid})
        for (int side : {1, 1000, 65535}) {
            std::string c[4];
            try {
                MapCode::WorldFileCorners(world, units, side, side, path, c[0], c[1], c[2], c[3]);
            } catch (const CoreError& e) {
                Check(e.Kind() == ErrorKind::FileError, "corners refused without a file error");
                continue;
            }
            Check(c[0] != c[2] && c[1] != c[3], "corners that coincide");
            for (int i = 0; i < 4; ++i) {
                const float minutes = MapCode::CoordToMinutes(c[i]);
                Check(std::fabs(minutes) <= (i % 2 ? 180 : 90) * 60, "a corner off the Earth");
            }
        }
    return 0;
}
