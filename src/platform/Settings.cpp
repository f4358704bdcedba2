#include "platform/Settings.h"

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#define SI_NO_CONVERSION // values stay bytes; the conversion to Windows-1252 is ours
#include <SimpleIni.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace Platform {
namespace {

// The file is native text (UTF-8); the core's strings are Windows-1252 bytes.
std::string ToFile(const std::string& s) {
    return Cp1252ToUtf8(s);
}
std::string FromFile(const char* s) {
    return Utf8ToCp1252(s);
}

// A settings file holds a few keys; one larger than this is damaged, and read no further.
constexpr std::size_t kMaxSettingsBytes = 4u << 20;

bool Load(CSimpleIniA& ini, const std::string& file) {
    std::string data;
    std::string err;
    if (!ReadWholeFile(file, data, kMaxSettingsBytes, &err)) return false;
    ini.SetUnicode(false);
    return ini.LoadData(data) >= 0;
}

} // namespace

std::string SettingsFile(const std::string& application) {
    return ConfigHome() + "/" + Cp1252ToUtf8(application) + "/settings.ini";
}

std::string GetSetting(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    CSimpleIniA ini;
    if (!Load(ini, SettingsFile(application))) return defaultValue;
    const char* v = ini.GetValue(ToFile(section).c_str(), ToFile(key).c_str(), nullptr);
    return v ? FromFile(v) : defaultValue;
}

bool SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                 const std::string& value, std::string* error) {
    const std::string file = SettingsFile(application);
    CSimpleIniA ini;
    ini.SetUnicode(false);
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && !Load(ini, file)) {
        if (error) *error = "cannot read " + file;
        return false;
    }
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    if (ec) {
        if (error) *error = ec.message();
        return false;
    }
    ini.SetValue(ToFile(section).c_str(), ToFile(key).c_str(), ToFile(value).c_str());
    std::string data;
    if (ini.Save(data) < 0) {
        if (error) *error = "cannot format settings";
        return false;
    }
    return ReplaceFileContents(file, data, error);
}

} // namespace Platform
