#include "platform/StopRequests.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace Platform {
namespace {

// The pipe the handler writes into: only what a signal handler may touch.
int requests[2] = {-1, -1};

extern "C" void Note(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(requests[1], &byte, 1);
    errno = saved;
}

} // namespace

int CatchStopRequests() {
    if (requests[0] >= 0) return requests[0];
    if (::pipe2(requests, O_CLOEXEC | O_NONBLOCK) != 0) {
        requests[0] = requests[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = Note;
    action.sa_flags = SA_RESTART; // the program's own waits go on; the event loop looks
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(s, &action, nullptr);
    return requests[0];
}

bool TakeStopRequests() {
    if (requests[0] < 0) return false;
    bool came = false;
    char drain[64];
    for (ssize_t n;
         (n = ::read(requests[0], drain, sizeof drain)) > 0 || (n < 0 && errno == EINTR);)
        came = came || n > 0;
    return came;
}

} // namespace Platform
