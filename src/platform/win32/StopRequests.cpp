#include "platform/StopRequests.h"

namespace Platform {

int CatchStopRequests() {
    return -1;
}

bool TakeStopRequests() {
    return false;
}

} // namespace Platform
