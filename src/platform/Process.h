#pragma once
// Starting another program.

#include <functional>
#include <string>

namespace Platform {

// Starts the program at a Windows path, detached, without waiting for it. Returns false with a
// description in `error` when it cannot be started (no such file, not executable).
bool StartProgram(const std::string& winPath, std::string* error = nullptr);

// Tests replace the start with their own (an empty function restores the real one).
using StartProgramHook = std::function<bool(const std::string& winPath, std::string* error)>;
void SetStartProgramHook(StartProgramHook hook);

} // namespace Platform
