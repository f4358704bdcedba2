#include "platform/FileIO.h"

#include "platform/CoreError.h"
#include "platform/Native.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace Platform {
namespace {

std::string NativeOf(const std::string& winPath) {
    auto native = ToNativePath(winPath);
    if (!native) throw CoreError(ErrorKind::FileError, "Path not found");
    return *native;
}

struct BatchState {
    int depth = 0;
    std::map<std::string, std::vector<FolderEntry>> listings;
    // Per folder: upper-cased core name to the listing's entries of that name.
    std::map<std::string, std::unordered_multimap<std::string, std::size_t>> indexes;
};
thread_local BatchState batch;

// A Windows name cannot hold these (nor the characters Windows-1252 lacks, shown as '?').
bool NotInWindowsNames(unsigned char c) {
    return c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

std::string AliasOf(const std::string& coreName, const std::string& native) {
    std::uint32_t hash = 2166136261u; // FNV-1a: the same digits for the same name, every run
    for (unsigned char c : native) hash = (hash ^ c) * 16777619u;
    std::string name = coreName;
    for (char& c : name)
        if (NotInWindowsNames(static_cast<unsigned char>(c))) c = '_';
    char digits[16];
    std::snprintf(digits, sizeof digits, "~%08X", unsigned(hash));
    const std::size_t dot = name.rfind('.');
    const std::size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.insert(at, digits);
}

// Gives each entry the core name it goes by: its Windows-1252 form where that is its own, an
// alias otherwise.
void NameEntries(std::vector<FolderEntry>& entries) {
    std::vector<char> exact(entries.size());
    bool allExact = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FolderEntry& e = entries[i];
        if (std::all_of(e.native.begin(), e.native.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            e.name = e.native; // plain ASCII, the common case, is its own form
            exact[i] = true;
        } else {
            bool lossless = true;
            e.name = NativeNameToCore(e.native, &lossless);
            exact[i] = lossless && CoreNameToNative(e.name) == e.native;
        }
        allExact = allExact && exact[i];
    }
    // Forms that hold some entry exactly, which an entry of another form must not take: only
    // where some entry is not its own form (rare) is there anything to look up.
    std::unordered_set<std::string> exactForms;
    if (!allExact)
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (exact[i]) exactForms.insert(entries[i].name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FolderEntry& e = entries[i];
        const bool unfit = std::any_of(e.name.begin(), e.name.end(), [](char c) {
            return NotInWindowsNames(static_cast<unsigned char>(c));
        });
        if (unfit || (!exact[i] && exactForms.count(e.name))) e.name = AliasOf(e.name, e.native);
    }
}

} // namespace

namespace Native {
std::string TempPrefix(const std::string& name) {
    std::uint32_t hash = 2166136261u; // FNV-1a, as the aliases
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    char text[32];
    std::snprintf(text, sizeof text, ".varnet-%08x-", unsigned(hash));
    return text;
}
} // namespace Native

ReadBatch::ReadBatch() {
    ++batch.depth;
}

ReadBatch::~ReadBatch() {
    if (--batch.depth > 0) return;
    Native::EndPass();
    batch.listings.clear();
    batch.indexes.clear();
}

bool ReadBatch::Active() {
    return batch.depth > 0;
}

const std::vector<FolderEntry>* ReadBatch::Listing(const std::string& nativeFolder,
                                                   std::string* error) {
    auto [it, added] = batch.listings.try_emplace(nativeFolder);
    if (added && !ListFolder(nativeFolder, it->second, error)) {
        batch.listings.erase(it);
        return nullptr;
    }
    return &it->second;
}

bool ListFolder(const std::string& nativeFolder, std::vector<FolderEntry>& entries,
                std::string* error) {
    entries.clear();
    std::vector<Native::RawEntry> raw;
    if (!Native::ListRaw(nativeFolder, raw, error)) return false;
    std::vector<FolderEntry> found;
    found.reserve(raw.size());
    for (auto& r : raw) found.push_back({{}, std::move(r.native), r.regular});
    NameEntries(found);
    // Sorted by the upper-cased names, made once rather than at every comparison.
    std::vector<std::string> keys;
    keys.reserve(found.size());
    for (const auto& f : found) keys.push_back(Upper(f.name));
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = keys[a].compare(keys[b]);
        return c != 0 ? c < 0 : found[a].name < found[b].name;
    });
    entries.reserve(found.size());
    for (std::size_t i : order) entries.push_back(std::move(found[i]));
    return true;
}

std::optional<std::string> FindEntryNoCase(const std::string& nativeFolder,
                                           const std::string& coreName) {
    auto pick = [&](const FolderEntry* exact, const FolderEntry* other) {
        const FolderEntry* e = exact ? exact : other;
        return e ? std::optional<std::string>(e->native) : std::nullopt;
    };
    const FolderEntry *exact = nullptr, *other = nullptr;
    if (ReadBatch::Active()) {
        const auto* listing = ReadBatch::Listing(nativeFolder);
        if (!listing) return std::nullopt;
        auto [it, added] = batch.indexes.try_emplace(nativeFolder);
        if (added) {
            it->second.reserve(listing->size());
            for (std::size_t i = 0; i < listing->size(); ++i)
                it->second.emplace(Upper((*listing)[i].name), i);
        }
        const auto [from, to] = it->second.equal_range(Upper(coreName));
        for (auto m = from; m != to; ++m) {
            const FolderEntry& e = (*listing)[m->second];
            (e.name == coreName ? exact : other) = &e;
        }
        return pick(exact, other);
    }
    std::vector<FolderEntry> entries;
    if (!ListFolder(nativeFolder, entries)) return std::nullopt;
    for (const auto& e : entries) {
        if (e.name == coreName)
            exact = &e;
        else if (!other && EqualsNoCase(e.name, coreName))
            other = &e;
    }
    return pick(exact, other);
}

bool ReadWholeFile(const std::string& nativePath, std::string& out, std::size_t maxBytes,
                   std::string* error) {
    out.clear();
    const Native::Opened f = Native::OpenPlain(nativePath);
    std::string why = f.why;
    char buf[65536];
    while (why.empty()) {
        const long long n = Native::ReadSome(f.file, buf, sizeof buf, &why);
        if (n <= 0) break;
        if (out.size() + std::size_t(n) > maxBytes) {
            why = Native::TooLong(maxBytes);
            out.clear();
        } else {
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    if (f.file != Native::kNoFile) Native::Close(f.file);
    if (!why.empty() && error) *error = why;
    return why.empty();
}

std::string ReadFirstLine(const std::string& nativePath, std::size_t maxBytes) {
    const Native::Opened f = Native::OpenPlain(nativePath);
    if (f.file == Native::kNoFile) return {};
    std::string text(maxBytes, '\0');
    std::size_t have = 0;
    while (have < text.size()) {
        const long long n = Native::ReadSome(f.file, text.data() + have, text.size() - have);
        if (n <= 0) break;
        have += std::size_t(n);
    }
    Native::Close(f.file);
    text.resize(have);
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) return text.substr(0, end);
    return have < maxBytes ? text : std::string(); // a first line beyond the bound: none
}

namespace {
bool AsciiEqualsNoCase(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}
} // namespace

std::string FindCompanion(const std::string& winPath, const std::string& extension) {
    const auto native = ToNativePath(winPath);
    if (!native) return {};
    const std::size_t slash = native->find_last_of("/\\");
    const std::string folder =
        slash == std::string::npos ? std::string() : native->substr(0, slash + 1);
    const std::string file = native->substr(folder.size());
    const std::size_t dot = file.rfind('.');
    const std::string want = file.substr(0, dot == 0 ? std::string::npos : dot) + extension;
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) return {};
    const FolderEntry* found = nullptr;
    for (const auto& e : entries)
        if (e.native == want || (!found && AsciiEqualsNoCase(e.native, want))) found = &e;
    if (!found || !found->regular) return {};
    const std::size_t cut = winPath.find_last_of("\\/");
    return (cut == std::string::npos ? std::string() : winPath.substr(0, cut + 1)) + found->name;
}

namespace {

// Within a pass: the file found in its folder's listing, so a name that is not there costs no
// look-up on the disk and one in other letter case is found at once. Nothing when the folder
// cannot be listed; hidden names are not in the listing and are opened as written.
std::optional<Native::Opened> OpenInBatch(const std::string& winPath, const std::string& direct,
                                          std::string& nativePath) {
    const std::size_t slash = direct.find_last_of("/\\");
    if (slash == std::string::npos || slash + 1 == direct.size()) return std::nullopt;
    const std::string folder = direct.substr(0, slash + 1);
    nativePath = direct;
    if (direct[slash + 1] == '.') return Native::OpenPlain(direct);
    std::string error;
    if (!ReadBatch::Listing(folder, &error)) return std::nullopt;
    const std::size_t cut = winPath.find_last_of("\\/");
    const auto native =
        FindEntryNoCase(folder, winPath.substr(cut == std::string::npos ? 0 : cut + 1));
    if (!native) return Native::Opened{Native::kNoFile, Native::Fault::Missing, "File not found"};
    nativePath = folder + *native;
    return Native::OpenPlainIn(folder, *native);
}

// Opens a plain file for reading: the path as written first, the look-up without regard to
// case only when that finds nothing. `nativePath` receives the path opened (or looked for).
Native::Opened OpenFile(const std::string& winPath, std::string* nativePath = nullptr) {
    std::string opened;
    auto done = [&](Native::Opened result) {
        if (nativePath) *nativePath = opened;
        return result;
    };
    if (auto direct = DirectNativePath(winPath)) {
        if (ReadBatch::Active())
            if (auto inBatch = OpenInBatch(winPath, *direct, opened)) return done(*inBatch);
        opened = *direct;
        Native::Opened plain = Native::OpenPlain(*direct);
        if (plain.fault != Native::Fault::Missing) return done(plain);
    }
    const auto native = ToNativePath(winPath);
    if (!native) return done({Native::kNoFile, Native::Fault::Missing, "File not found"});
    opened = *native;
    return done(Native::OpenPlain(*native));
}

} // namespace

TextReader::TextReader(const std::string& winPath, std::uint64_t maxBytes)
    : path_(winPath), maxBytes_(maxBytes) {
    const Native::Opened opened = OpenFile(winPath);
    if (opened.file == Native::kNoFile) throw CoreError(ErrorKind::FileError, opened.why);
    file_ = opened.file;
}

TextReader::TextReader(NativeFile, const std::string& nativePath, std::uint64_t maxBytes)
    : path_(nativePath), maxBytes_(maxBytes) {
    // In a pass over a folder its files are opened from the folder, looked up once.
    const std::size_t slash = nativePath.find_last_of('/');
    const Native::Opened opened =
        ReadBatch::Active() && slash != std::string::npos && slash + 1 < nativePath.size()
            ? Native::OpenPlainIn(nativePath.substr(0, slash + 1), nativePath.substr(slash + 1))
            : Native::OpenPlain(nativePath);
    if (opened.file == Native::kNoFile) throw CoreError(ErrorKind::FileError, opened.why);
    file_ = opened.file;
}

TextReader::TextReader(InMemory, std::string bytes, std::uint64_t maxBytes)
    : inMemory_(true), bytes_(std::move(bytes)), maxBytes_(maxBytes) {}

TextReader::~TextReader() {
    Close();
}

void TextReader::Close() {
    if (file_ != Native::kNoFile) Native::Close(file_);
    file_ = Native::kNoFile;
    inMemory_ = false;
}

int TextReader::Peek() {
    if (pos_ < len_) return static_cast<unsigned char>(buf_[pos_]);
    if (file_ == Native::kNoFile && !inMemory_)
        throw CoreError(ErrorKind::FileError, "Bad file name or number");
    // Within the bound a whole buffer at a time; at the bound, one byte tells whether the file
    // goes on beyond it.
    const std::uint64_t left = maxBytes_ - total_;
    const std::size_t want =
        left == 0 ? 1 : std::size_t(std::min<std::uint64_t>(sizeof buf_, left));
    long long n = 0;
    if (inMemory_) {
        n = (long long)std::min<std::uint64_t>(want, bytes_.size() - total_);
        std::memcpy(buf_, bytes_.data() + total_, std::size_t(n));
    } else {
        std::string why;
        n = Native::ReadSome(file_, buf_, want, &why);
        if (n < 0) throw CoreError(ErrorKind::FileError, why);
    }
    if (n > 0 && left == 0) throw CoreError(ErrorKind::FileError, Native::TooLong(maxBytes_));
    pos_ = 0;
    len_ = static_cast<std::size_t>(n);
    total_ += len_;
    return n == 0 ? -1 : static_cast<unsigned char>(buf_[0]);
}

int TextReader::Get() {
    const int c = Peek();
    if (c >= 0) ++pos_;
    return c;
}

bool TextReader::Eof() {
    return Peek() < 0;
}

void TextReader::SkipLineEnd(int c) {
    if (c == '\r' && Peek() == '\n') Get();
}

std::string TextReader::ReadLine() {
    if (Eof()) throw CoreError(ErrorKind::InputPastEnd, "Input past end of file");
    std::string line;
    for (;;) {
        const int c = Get();
        if (c < 0) break;
        if (c == '\r' || c == '\n') {
            SkipLineEnd(c);
            break;
        }
        if (line.size() >= kMaxLineLength) throw CoreError(ErrorKind::FileError, "Line too long");
        line += static_cast<char>(c);
    }
    return line;
}

bool CanOpenForReading(const std::string& winPath) {
    const Native::Opened opened = OpenFile(winPath);
    if (opened.file == Native::kNoFile) return false;
    Native::Close(opened.file);
    return true;
}

bool ReadFileEnds(const std::string& winPath, std::size_t headBytes, std::size_t tailBytes,
                  std::string& head, std::string& tail, std::uint64_t& size, std::string& error,
                  std::string* nativePath) {
    const Native::Opened opened = OpenFile(winPath, nativePath);
    if (opened.file == Native::kNoFile) {
        error = opened.why;
        return false;
    }
    size = opened.size;
    auto read = [&](std::uint64_t offset, std::string& out, std::size_t want) {
        out.assign(std::size_t(std::min<std::uint64_t>(want, size)), '\0');
        std::size_t have = 0;
        while (have < out.size()) {
            const long long n =
                Native::ReadAt(opened.file, offset + have, out.data() + have, out.size() - have);
            if (n < 0) return false;
            if (n == 0) break;
            have += std::size_t(n);
        }
        out.resize(have);
        return true;
    };
    const bool ok = read(0, head, headBytes) &&
                    read(size - std::min<std::uint64_t>(tailBytes, size), tail, tailBytes);
    if (!ok) error = "Device I/O error";
    Native::Close(opened.file);
    return ok;
}

FileSnapshot TakeSnapshot(const std::string& winPath, std::size_t maxBytes) {
    FileSnapshot snap;
    std::string tail, error;
    snap.exists = ReadFileEnds(winPath, maxBytes, 0, snap.head, tail, snap.size, error);
    return snap;
}

void WriteTextLines(const std::string& winPath, const std::vector<std::string>& lines) {
    std::string data;
    for (const auto& l : lines) {
        data += l;
        data += "\r\n";
    }
    std::string error;
    if (!ReplaceFileContents(NativeOf(winPath), data, &error))
        throw CoreError(ErrorKind::FileError, error);
}

} // namespace Platform
