#include "platform/Native.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform::Native {

bool StartProgram(const std::string& nativePath, std::string& why) {
    auto fail = [&](const std::string& text) {
        why = text;
        return false;
    };
    struct stat st {};
    if (stat(nativePath.c_str(), &st) != 0) return fail("File not found");
    if (!S_ISREG(st.st_mode) || access(nativePath.c_str(), X_OK) != 0)
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
            const char* argv[] = {nativePath.c_str(), nullptr};
            execv(nativePath.c_str(), const_cast<char* const*>(argv));
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

} // namespace Platform::Native
