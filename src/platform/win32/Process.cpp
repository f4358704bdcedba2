#include "platform/Process.h"

#include "platform/WinPath.h"

#include <windows.h>

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
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (winPath.empty()) return fail("No program named");
    const auto native = ToNativePath(winPath);
    if (!native) return fail("Path not found");
    const DWORD attributes = ::GetFileAttributesA(native->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail("File not found");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return fail("The file is not a program that can be started");
    std::string command = "\"" + *native + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(native->c_str(), command.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &process))
        return fail("The program could not be started");
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

} // namespace Platform
