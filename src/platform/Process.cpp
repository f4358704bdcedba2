// Starting another program: the tests' own start when they give one, otherwise the system's.
#include "platform/Process.h"

#include "platform/Native.h"
#include "platform/WinPath.h"

namespace Platform {
namespace {
StartProgramHook& Hook() {
    static StartProgramHook h;
    return h;
}
} // namespace

void SetStartProgramHook(StartProgramHook hook) {
    Hook() = std::move(hook);
}

bool StartProgram(const std::string& winPath, std::string* error) {
    if (Hook()) return Hook()(winPath, error);
    std::string why;
    const auto native = winPath.empty() ? std::nullopt : ToNativePath(winPath);
    if (winPath.empty())
        why = "No program named";
    else if (!native)
        why = "Path not found";
    else if (Native::StartProgram(*native, why))
        return true;
    if (error) *error = why;
    return false;
}

} // namespace Platform
