// The picture header reader on arbitrary bytes: the first bytes as the head, the last as the
// tail, and sizes around the real one.
#include "picture/PictureHeader.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view head = bytes.substr(0, Picture::kHeadBytes);
    const std::string_view tail = bytes.substr(size - std::min(size, Picture::kTailBytes));
    for (std::uint64_t fileSize :
         {std::uint64_t(size), std::uint64_t(size) * 1000, std::uint64_t(0)})
        Picture::InspectHeader(head, tail, fileSize);
    return 0;
}
