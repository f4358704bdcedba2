// An import's reading on arbitrary bytes: the bytes as the source file (GDAL decides what they
// are: a GeoTIFF, a VRT, an OziExplorer .map, a KML ...), read through the same confinement and
// the same steps as the import process, up to the first rows of the warped picture, within a
// small memory bound. Whatever it refuses is a refusal naming the source; nothing else may
// escape it.
#include "georef/Confinement.h"
#include "georef/ImportPicture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The source's folder, made once: the confinement lets GDAL read there and nowhere else.
const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/varnet-fuzz-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        Georef::Detail::Confine({pattern});
        return std::string(pattern);
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    Georef::Detail::PictureJob job;
    job.source = Folder() + "/source";
    job.memoryLimit = 64 << 20;
    std::ofstream(job.source, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    Georef::Detail::ForgetRefusal();
    try {
        Georef::Detail::ReadSample(job, 16);
    } catch (const Georef::Error& e) {
        if (e.kind() != Georef::Error::Kind::Refused ||
            std::string(e.what()).rfind(job.source, 0) != 0) {
            std::fprintf(stderr, "import source: %s\n", e.what());
            std::abort();
        }
    }
    return 0;
}
