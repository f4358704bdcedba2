#include "platform/Settings.h"

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {
namespace {

// A settings file holds a few keys; one larger than this is damaged, and read no further.
constexpr std::size_t kMaxSettingsBytes = 4u << 20;

// The file is native text (UTF-8); the core's strings are Windows-1252 bytes.
std::string ToFile(const std::string& s) {
    return Cp1252ToUtf8(s);
}

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return s.substr(s.size()); // empty, where it stands
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// One line of the file: where it starts, where its text ends, where its line end ends.
struct Line {
    std::size_t begin, end, next;
};

std::vector<Line> SplitLines(const std::string& data) {
    std::vector<Line> lines;
    for (std::size_t at = 0; at < data.size();) {
        std::size_t end = data.find_first_of("\r\n", at);
        if (end == std::string::npos) end = data.size();
        std::size_t next = end;
        if (next < data.size()) next += data.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({at, end, next});
        at = next;
    }
    return lines;
}

// The section a line opens ("" when it opens none), and a key line's key and value.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return Trim(line.substr(1, line.size() - 2));
}
bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && (line[0] == ';' || line[0] == '#');
}
std::optional<std::pair<std::string_view, std::string_view>> KeyOf(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (IsComment(line) || eq == std::string_view::npos) return std::nullopt;
    return std::pair(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
}

bool SameName(std::string_view a, const std::string& b) {
    return EqualsNoCase(Utf8ToCp1252(a), b);
}

// Reads the file, without its byte-order mark (which goes to `bom` when given): false with the
// reason when it exists but cannot be read; an absent file is an empty one.
bool Load(const std::string& file, std::string& data, std::string& error,
          std::string* bom = nullptr) {
    if (ReadWholeFile(file, data, kMaxSettingsBytes, &error)) {
        const std::size_t mark = ByteOrderMarkLength(data);
        if (bom) bom->assign(data, 0, mark);
        data.erase(0, mark);
        return true;
    }
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        data.clear();
        error.clear();
        return true;
    }
    return false;
}

// Holds the settings file's lock while it lives: an exclusive flock on a lock file beside it, so
// that saves of the file by several programs (two instances closing together) read, change and
// write it one at a time and none loses another's values. The lock file stays, empty: removing
// it would let two savers lock two different files. Where no lock can be had (a file system
// without locks) the save goes ahead unlocked.
class FileLock {
public:
    explicit FileLock(const std::string& file) {
        const std::size_t slash = file.rfind('/');
        const std::string lock = file.substr(0, slash + 1) + "." + file.substr(slash + 1) + ".lock";
        fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
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
    bool inSection = false;
    for (const Line& l : SplitLines(data)) {
        const std::string_view line(data.data() + l.begin, l.end - l.begin);
        if (const auto name = SectionOf(line)) {
            inSection = SameName(*name, section);
        } else if (inSection) {
            if (const auto kv = KeyOf(line); kv && SameName(kv->first, key))
                return Utf8ToCp1252(kv->second);
        }
    }
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
    std::string data, why, bom;
    if (!Load(file, data, why, &bom)) return fail("cannot read " + file + ": " + why);

    // New lines take the file's own line end.
    const std::size_t firstEnd = data.find_first_of("\r\n");
    const std::string eol =
        firstEnd != std::string::npos && data.compare(firstEnd, 2, "\r\n") == 0 ? "\r\n" : "\n";
    std::vector<char> stored(values.size());
    std::string out;
    out.reserve(data.size() + 64 * values.size());
    bool inSection = false, sectionSeen = false;
    std::size_t lastKeyEnd = std::string::npos; // in `out`: after the section's last key line
    bool unended = false;                       // that line is the file's last, without a line end
    auto addMissing = [&] {
        std::string add;
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!stored[i]) {
                add += ToFile(values[i].first) + "=" + ToFile(values[i].second) + eol;
                stored[i] = 1;
            }
        if (!add.empty() && unended) add.insert(0, eol);
        out.insert(lastKeyEnd, add);
    };
    for (const Line& l : SplitLines(data)) {
        const std::string_view line(data.data() + l.begin, l.end - l.begin);
        if (const auto name = SectionOf(line)) {
            if (inSection) addMissing();
            inSection = SameName(*name, section);
            sectionSeen = sectionSeen || inSection;
            out.append(data, l.begin, l.next - l.begin);
            if (inSection) {
                lastKeyEnd = out.size();
                unended = l.next == l.end;
            }
            continue;
        }
        const auto kv = inSection ? KeyOf(line) : std::nullopt;
        std::size_t which = values.size();
        for (std::size_t i = 0; kv && i < values.size(); ++i)
            if (!stored[i] && SameName(kv->first, values[i].first)) which = i;
        if (which < values.size()) {
            // The value is replaced where it stands; the key as written and the line end stay.
            const std::size_t valueAt = std::size_t(kv->second.data() - data.data());
            out.append(data, l.begin, valueAt - l.begin);
            out += ToFile(values[which].second);
            out.append(data, valueAt + kv->second.size(), l.next - valueAt - kv->second.size());
            stored[which] = 1;
        } else {
            out.append(data, l.begin, l.next - l.begin);
        }
        if (inSection && kv) {
            lastKeyEnd = out.size();
            unended = l.next == l.end;
        }
    }
    if (inSection) addMissing();
    if (!sectionSeen) {
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += eol;
        out.append("[").append(ToFile(section)).append("]").append(eol);
        lastKeyEnd = out.size();
        unended = false;
        addMissing();
    }
    return ReplaceFileContents(file, bom + out, error);
}

bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error) {
    return SaveSettings(application, section, {{key, value}}, error);
}

} // namespace Platform
