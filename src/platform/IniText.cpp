// The settings store's INI text apart from any file: a value read from it, values stored in it
// with every other byte kept.
#include "platform/Settings.h"

#include "platform/Text.h"

namespace Platform {
namespace {

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

// Why a name or value cannot be stored so that it reads back the same ("" when it can): the
// reader ends a line at CR or LF, trims spaces and tabs, ends a key at '=' and takes a line
// starting with ';' or '#' for a comment and one in brackets for a section.
std::string Unfit(const std::string& what, const std::string& text, bool isKey) {
    std::string why;
    if (text.find_first_of("\r\n") != std::string::npos)
        why = "it holds a line end";
    else if (!text.empty() && Trim(text).size() != text.size())
        why = "it begins or ends with a space or tab";
    else if (isKey && text.find('=') != std::string::npos)
        why = "it holds '='";
    else if (isKey && !text.empty() && std::string_view(";#[").find(text[0]) != std::string::npos)
        why = "it begins with ';', '#' or '['";
    return why.empty() ? why : "the " + what + " \"" + text + "\" cannot be stored: " + why;
}

} // namespace

std::optional<std::string> IniValue(std::string_view text, const std::string& section,
                                    const std::string& key) {
    const std::string data(text.substr(ByteOrderMarkLength(text)));
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
    return std::nullopt;
}

bool StoreIniValues(std::string& text, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    std::string* error) {
    std::string why = Unfit("section", section, false);
    for (std::size_t i = 0; why.empty() && i < values.size(); ++i) {
        why = Unfit("key", values[i].first, true);
        if (why.empty()) why = Unfit("value", values[i].second, false);
    }
    if (!why.empty()) {
        if (error) *error = why;
        return false;
    }
    const std::string bom = text.substr(0, ByteOrderMarkLength(text)); // kept where it is
    const std::string data = text.substr(bom.size());

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
    text = bom + out;
    return true;
}

} // namespace Platform
