// The settings store's INI text on arbitrary bytes: the input is the file's text, then after NUL
// bytes a section, a key and a value. A value the store accepts reads back as saved, and saving
// it a second time changes nothing.
#include "platform/Settings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "settings: %s\n", what);
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[4] = {{}, "Settings", "MainLeft", "1500"};
    for (std::size_t i = 0, at = 0; i < 4 && at <= input.size(); ++i) {
        const std::size_t end = i == 3 ? input.npos : input.find('\0', at);
        parts[i] = input.substr(at, end == input.npos ? input.npos : end - at);
        if (end == input.npos) break;
        at = end + 1;
    }
    const auto& [text, section, key, value] = parts;
    std::string saved = text;
    if (!Platform::StoreIniValues(saved, section, {{key, value}})) {
        Check(saved == text, "a refused save changed the text");
        return 0;
    }
    const auto read = Platform::IniValue(saved, section, key);
    Check(read && *read == value, "a saved value does not read back");
    std::string again = saved;
    Check(Platform::StoreIniValues(again, section, {{key, value}}) && again == saved,
          "a second save of the same value changed the text");
    return 0;
}
