// Run from an installed program's folder by the install test: says which decoder a program
// there starts, and decodes a picture with it. Exits 0 when the picture came back.
//   varnet_decoder_probe PICTURE   (a Windows path)
#include "picture/PictureLoader.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::printf("%s\n", Picture::DecoderPath().c_str());
    try {
        const Picture::Source source = Picture::Open(argv[1]);
        const Picture::Decoded d = Picture::Decode(source, QRect(QPoint(), source.size), 1);
        if (!d.error.empty()) std::fprintf(stderr, "%s\n", d.error.c_str());
        return d.image.size() == source.size ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
