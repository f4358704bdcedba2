// varnet-decoder: the picture decoder, started by Varnet's programs with a socket at descriptor
// Protocol::kSocket, never by the user. It links no Qt, so that it starts in a few milliseconds.
#include "decoder/Protocol.h"
#include "decoder/Serve.h"

#include <cstdio>
#include <fcntl.h>

int main(int argc, char**) {
    if (argc != 1 || ::fcntl(Decoder::Protocol::kSocket, F_GETFD) < 0) {
        std::fprintf(stderr, "varnet-decoder: decodes pictures for Varnet, which starts it\n");
        return 2;
    }
    return Decoder::Serve(Decoder::Protocol::kSocket);
}
