#pragma once
// The decoder's service: requests read from a socket (see Protocol.h), each piece of work done
// and answered in turn.

namespace Decoder {

// Serves `socket` until the program that started the decoder closes it or goes; returns the
// decoder's exit status (0). The decoder dies with that program.
int Serve(int socket);

} // namespace Decoder
