#include "platform/Process.h"

#include "platform/WinPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    auto native = ToNativePath(winPath);
    if (!native) return fail("Path not found");
    struct stat st {};
    if (stat(native->c_str(), &st) != 0) return fail("File not found");
    if (!S_ISREG(st.st_mode) || access(native->c_str(), X_OK) != 0)
        return fail("The file is not a program that can be started");

    // The grandchild runs the program; a close-on-exec pipe reports a failed exec.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail(std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return fail(std::strerror(errno));
    }
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            const char* argv[] = {native->c_str(), nullptr};
            execv(native->c_str(), const_cast<char* const*>(argv));
            const int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    while ((n = read(fds[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(fds[0]);
    if (n == static_cast<ssize_t>(sizeof err)) return fail(std::strerror(err));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("The program could not be started");
    return true;
}

} // namespace Platform
