#include "platform/Env.h"

#include <cstdlib>

namespace Platform {

std::string GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace Platform
