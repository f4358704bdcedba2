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

// Why the section, a key or a value cannot be stored ("" when all can).
std::string UnfitValues(const std::string& section,
                        const std::vector<std::pair<std::string, std::string>>& values) {
    std::string why = Unfit("section", section, false);
    for (std::size_t i = 0; why.empty() && i < values.size(); ++i) {
        why = Unfit("key", values[i].first, true);
        if (why.empty()) why = Unfit("value", values[i].second, false);
    }
    return why;
}

// The file's text (without its byte order mark) with the values stored in the section: each
// value replaced where its key stands, missing keys added after the section's last key line, and
// the section added at the end when the file has none.
class IniStore {
public:
    IniStore(const std::string& data, const std::string& section,
             const std::vector<std::pair<std::string, std::string>>& values)
        : data_(data), section_(section), values_(values), stored_(values.size()) {
        // New lines take the file's own line end.
        const std::size_t firstEnd = data.find_first_of("\r\n");
        eol_ =
            firstEnd != std::string::npos && data.compare(firstEnd, 2, "\r\n") == 0 ? "\r\n" : "\n";
        out_.reserve(data.size() + 64 * values.size());
    }

    std::string Text() {
        for (const Line& l : SplitLines(data_)) {
            const std::string_view line(data_.data() + l.begin, l.end - l.begin);
            if (const auto name = SectionOf(line))
                SectionLine(l, *name);
            else
                OtherLine(l, line);
        }
        if (inSection_) AddMissing();
        if (!sectionSeen_) {
            if (!out_.empty() && out_.back() != '\n' && out_.back() != '\r') out_ += eol_;
            out_.append("[").append(ToFile(section_)).append("]").append(eol_);
            lastKeyEnd_ = out_.size();
            unended_ = false;
            AddMissing();
        }
        return std::move(out_);
    }

private:
    void SectionLine(const Line& l, std::string_view name) {
        if (inSection_) AddMissing();
        inSection_ = SameName(name, section_);
        sectionSeen_ = sectionSeen_ || inSection_;
        out_.append(data_, l.begin, l.next - l.begin);
        if (inSection_) KeyLineEnds(l);
    }

    void OtherLine(const Line& l, std::string_view line) {
        const auto kv = inSection_ ? KeyOf(line) : std::nullopt;
        std::size_t which = values_.size();
        for (std::size_t i = 0; kv && i < values_.size(); ++i)
            if (!stored_[i] && SameName(kv->first, values_[i].first)) which = i;
        if (which < values_.size()) {
            // The value is replaced where it stands; the key as written and the line end stay.
            const std::size_t valueAt = std::size_t(kv->second.data() - data_.data());
            out_.append(data_, l.begin, valueAt - l.begin);
            out_ += ToFile(values_[which].second);
            out_.append(data_, valueAt + kv->second.size(), l.next - valueAt - kv->second.size());
            stored_[which] = 1;
        } else {
            out_.append(data_, l.begin, l.next - l.begin);
        }
        if (inSection_ && kv) KeyLineEnds(l);
    }

    void KeyLineEnds(const Line& l) {
        lastKeyEnd_ = out_.size();
        unended_ = l.next == l.end;
    }

    void AddMissing() {
        std::string add;
        for (std::size_t i = 0; i < values_.size(); ++i)
            if (!stored_[i]) {
                add += ToFile(values_[i].first) + "=" + ToFile(values_[i].second) + eol_;
                stored_[i] = 1;
            }
        if (!add.empty() && unended_) add.insert(0, eol_);
        out_.insert(lastKeyEnd_, add);
    }

    const std::string& data_;
    const std::string& section_;
    const std::vector<std::pair<std::string, std::string>>& values_;
    std::vector<char> stored_;
    std::string eol_;
    std::string out_;
    bool inSection_ = false, sectionSeen_ = false;
    std::size_t lastKeyEnd_ = std::string::npos; // in `out_`: after the section's last key line
    bool unended_ = false;                       // that line is the file's last, without a line end
};

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
    if (const std::string why = UnfitValues(section, values); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    const std::string bom = text.substr(0, ByteOrderMarkLength(text)); // kept where it is
    const std::string data = text.substr(bom.size());
    text = bom + IniStore(data, section, values).Text();
    return true;
}

} // namespace Platform
