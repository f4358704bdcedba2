#include "platform/Settings.h"

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace Platform {
namespace {

// A settings file holds a few keys; one larger than this is damaged, and read no further.
constexpr std::size_t kMaxSettingsBytes = 4u << 20;

// Reads the file: false with the reason when it exists but cannot be read; an absent file is
// an empty one.
bool Load(const std::string& file, std::string& data, std::string& error) {
    if (ReadWholeFile(file, data, kMaxSettingsBytes, &error)) return true;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        data.clear();
        error.clear();
        return true;
    }
    return false;
}

// How long a save waits for another program's save: one takes milliseconds, so a lock held
// longer is held by a program that is stuck or keeps it, and a closing program must not wait on
// it. After a save has given up, the next ones in the following while try once, without waiting.
constexpr auto kLockWait = std::chrono::seconds(3);
constexpr auto kLockTry = std::chrono::milliseconds(20);
constexpr auto kAfterGivingUp = std::chrono::seconds(30);

// Holds the settings file's lock while it lives: an exclusive flock on a lock file beside it, so
// that saves of the file by several programs (two instances closing together) read, change and
// write it one at a time and none loses another's values. The lock file stays, empty: removing
// it would let two savers lock two different files. Where no lock can be had (a file system
// without locks) the save goes ahead unlocked; where another program holds it beyond kLockWait,
// Held() is false.
class FileLock {
public:
    explicit FileLock(const std::string& file) {
        const std::size_t slash = file.rfind('/');
        path_ = file.substr(0, slash + 1) + "." + file.substr(slash + 1) + ".lock";
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
        using Clock = std::chrono::steady_clock;
        static std::atomic<Clock::rep> gaveUp{0}; // when a save last gave up, or 0
        const auto now = Clock::now();
        const bool waits =
            gaveUp == 0 || now - Clock::time_point(Clock::duration(gaveUp)) > kAfterGivingUp;
        const auto until = now + (waits ? Clock::duration(kLockWait) : Clock::duration(0));
        while (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return; // no locks here
            if (Clock::now() >= until) {
                held_ = false;
                gaveUp = Clock::now().time_since_epoch().count();
                return;
            }
            std::this_thread::sleep_for(kLockTry);
        }
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return held_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    bool held_ = true;
    std::string path_;
};

void SayOnce(const std::string& file, const std::string& why) {
    static std::mutex m;
    static std::set<std::string> said;
    const std::lock_guard lock(m);
    if (said.insert(file).second)
        std::fprintf(stderr,
                     "Varnet: the settings file %s cannot be read (%s); its values are "
                     "not used.\n",
                     file.c_str(), why.c_str());
}

} // namespace

std::string SettingsFile(const std::string& application) {
    return ConfigHome() + "/" + Cp1252ToUtf8(application) + "/settings.ini";
}

std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    const std::string file = SettingsFile(application);
    std::string data, error;
    if (!Load(file, data, error)) {
        SayOnce(file, error);
        return defaultValue;
    }
    if (auto value = IniValue(data, section, key)) return *value;
    return defaultValue;
}

bool SaveSettings(const std::string& application, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values,
                  std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string file = SettingsFile(application);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    if (ec) return fail(ec.message());
    const FileLock lock(file);
    if (!lock.Held())
        return fail("another program keeps " + file + " locked (" + lock.Path() +
                    "); nothing was saved");
    std::string data, why;
    if (!Load(file, data, why)) return fail("cannot read " + file + ": " + why);
    return StoreIniValues(data, section, values, error) && ReplaceFileContents(file, data, error);
}

bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error) {
    return SaveSettings(application, section, {{key, value}}, error);
}

} // namespace Platform
