#include "platform/Native.h"

#include <windows.h>

namespace Platform::Native {

bool StartProgram(const std::string& nativePath, std::string& why) {
    auto fail = [&](const std::string& text) {
        why = text;
        return false;
    };
    const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail("File not found");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return fail("The file is not a program that can be started");
    std::string command = "\"" + nativePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nativePath.c_str(), command.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &process))
        return fail("The program could not be started");
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

} // namespace Platform::Native
