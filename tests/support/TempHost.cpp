#include "support/TempHost.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
const char* const kVars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "WINEPREFIX",
                             "VARNET_REGISTRY_FILE"};
}

int InTwoProcessesAtOnce(const std::function<int()>& work) {
    int start[2];
    if (pipe(start) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        char go;
        const bool started = read(start[0], &go, 1) == 1;
        _exit(started && work() == 0 ? 0 : 1);
    }
    const bool started = child > 0 && write(start[1], "x", 1) == 1; // both begin together
    int failed = started ? work() : 1;
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    failed += child <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    close(start[0]);
    close(start[1]);
    return failed;
}

TempHost::TempHost() {
    std::string tmpl = (fs::temp_directory_path() / "varnet-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    for (const char* v : kVars) {
        const char* old = std::getenv(v);
        savedEnv_.emplace_back(v, old ? old : std::string("\x01unset"));
    }
    setenv("HOME", (root_ + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/home/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ + "/home/.cache").c_str(), 1); // the tile cache
    setenv("WINEPREFIX", (root_ + "/wine").c_str(), 1);
    setenv("VARNET_REGISTRY_FILE", (root_ + "/registry.reg").c_str(), 1);
    MakeFolder(root_ + "/home");
    driveC_ = root_ + "/drive_c";
    LinkDrive('c', driveC_);
}

TempHost::~TempHost() {
    for (const auto& [name, value] : savedEnv_) {
        if (value == "\x01unset")
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ec;
    // Give back write rights that a test took away, so everything can be removed.
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) chmod(it->path().c_str(), 0755);
    }
    chmod(root_.c_str(), 0755);
    fs::remove_all(root_, ec);
}

void TempHost::LinkDrive(char letter, const std::string& nativeFolder) {
    MakeFolder(nativeFolder);
    MakeFolder(root_ + "/wine/dosdevices");
    const std::string link = root_ + "/wine/dosdevices/" + std::string(1, letter) + ":";
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(nativeFolder, link);
}

void TempHost::Hide(const std::string&) {}

void TempHost::Empty(const std::string&) {}

void TempHost::MakeReadOnly(const std::string& nativePath) {
    chmod(nativePath.c_str(), 0444);
}

void TempHost::WriteSettings(const std::string& application, const std::string& iniText) {
    Write(root_ + "/home/.config/" + application + "/settings.ini", iniText);
}

std::string TempHost::MakeHost(const std::string& folderValue) {
    MakeFolder(OnC("Stelmar/Maps"));
    WriteSettings("Tormund Systems", "[Stelmar32]\nProgram Folder=" + folderValue + "\n");
    return OnC("Stelmar/Maps");
}
