// Files on Windows: plain files opened with CreateFileA, folders listed with FindFirstFileA,
// and the replace that keeps a file whole until its new contents are (ReplaceFileA, or
// MoveFileExA for a new file, after FlushFileBuffers).
#include "platform/FileIO.h"
#include "platform/Native.h"

#include <windows.h>

#include <cstdio>

namespace Platform {
namespace {

std::string Describe(DWORD err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
        return "File not found";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return "Path not found";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "Disk full";
    case ERROR_WRITE_PROTECT:
        return "Permission denied: the file system is read-only";
    default:
        return Native::SystemMessage(err);
    }
}

HANDLE ToHandle(Native::FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

// Removes what earlier saves of the same file left behind when they were cut short, and only
// those. A save keeps its temporary file open without sharing while it writes it, so the system
// refuses to remove it then; between closing it and the replace, only its age tells: a file an
// hour old has lost its writer.
void RemoveLeftovers(const std::string& folder, const std::string& prefix) {
    constexpr unsigned long long kAbandonedAfter = 3600ull * 10000000ull; // in 100 ns
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const ULARGE_INTEGER n{{now.dwLowDateTime, now.dwHighDateTime}};
    WIN32_FIND_DATAA found{};
    HANDLE find = ::FindFirstFileA((folder + prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const ULARGE_INTEGER written{
            {found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
        if (written.QuadPart + kAbandonedAfter < n.QuadPart)
            ::DeleteFileA((folder + found.cFileName).c_str());
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

} // namespace

namespace Native {

Opened OpenPlain(const std::string& nativePath) {
    const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {kNoFile, Fault::Folder, "Path/File access error: the path names a folder"};
    HANDLE h = ::CreateFileA(nativePath.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        const Fault fault = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND
                                ? Fault::Missing
                                : Fault::Other;
        return {kNoFile, fault, Describe(err)};
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) { // a pipe or a device
        ::CloseHandle(h);
        return {kNoFile, Fault::NotPlain,
                "Path/File access error: the path names a device, pipe or socket, not a file"};
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) size.QuadPart = 0;
    return {reinterpret_cast<FileHandle>(h), Fault::None, {}, std::uint64_t(size.QuadPart)};
}

Opened OpenPlainIn(const std::string& nativeFolder, const std::string& name) {
    return OpenPlain(nativeFolder + name);
}

void EndPass() {}

long long ReadSome(FileHandle file, char* data, std::size_t size, std::string* why) {
    DWORD got = 0;
    if (!::ReadFile(ToHandle(file), data, DWORD(std::min<std::size_t>(size, 1u << 30)), &got,
                    nullptr)) {
        if (why) *why = Describe(::GetLastError());
        return -1;
    }
    return got;
}

long long ReadAt(FileHandle file, std::uint64_t offset, char* data, std::size_t size) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(ToHandle(file), data, DWORD(std::min<std::size_t>(size, 1u << 30)), &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

void Close(FileHandle file) {
    if (file != kNoFile) ::CloseHandle(ToHandle(file));
}

bool ListRaw(const std::string& nativeFolder, std::vector<RawEntry>& entries, std::string* why) {
    entries.clear();
    std::string folder = nativeFolder.empty() ? std::string(".\\") : nativeFolder;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    WIN32_FIND_DATAA found{};
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) return true; // an empty folder
        if (why) *why = Describe(err == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : err);
        return false;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        // A name the single-byte character set cannot hold goes by its short name, which
        // opens it.
        const bool lossy = name.find('?') != std::string::npos && found.cAlternateFileName[0];
        entries.push_back(
            {lossy ? std::string(found.cAlternateFileName) : name,
             !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))});
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return true;
}

std::string SystemMessage(unsigned long code) {
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
    return s.empty() ? "Windows error " + std::to_string(code) : s;
}

std::string TooLong(std::uint64_t maxBytes) {
    return "File too long: more than " + std::to_string(maxBytes) + " bytes";
}

} // namespace Native

namespace {

// The replace: the contents (`data` when given, else what `write` puts into the temporary file)
// go to a new file beside the target, which then replaces it.
bool Replace(const std::string& nativePath, const std::string* data, const FileWriter& write,
             std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const std::string folder = FolderOf(nativePath);
    const std::string name = nativePath.substr(folder.size());
    const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail("Path/File access error: the path names a folder");
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
        return fail("Permission denied: the file is read-only");
    const DWORD folderAttributes = ::GetFileAttributesA(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES)
        return fail("Path not found: the folder does not exist");

    const std::string prefix = Native::TempPrefix(name);
    RemoveLeftovers(folder, prefix);
    std::string temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        char unique[16];
        std::snprintf(unique, sizeof unique, "%06lx",
                      (::GetTickCount() * 7919ul + ::GetCurrentProcessId() + attempt) & 0xFFFFFFul);
        temp = folder + prefix + unique;
        h = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) return fail(Describe(::GetLastError()));
    bool ok = true;
    std::string why; // the writer's own reason, when it fails
    for (std::size_t done = 0; data && ok && done < data->size();) {
        DWORD wrote = 0;
        ok = ::WriteFile(h, data->data() + done,
                         DWORD(std::min<std::size_t>(data->size() - done, 1u << 30)), &wrote,
                         nullptr) != 0;
        done += wrote;
    }
    ok = ok && (!data || ::FlushFileBuffers(h));
    DWORD err = ok ? 0 : ::GetLastError();
    ::CloseHandle(h);
    if (ok && !data) ok = write(temp, why); // the writer opens the file itself
    if (ok) {
        // The old file keeps its place, attributes and security until the new one replaces it.
        ok = exists ? ::ReplaceFileA(nativePath.c_str(), temp.c_str(), nullptr,
                                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                    : ::MoveFileExA(temp.c_str(), nativePath.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) err = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileA(temp.c_str());
        return fail(why.empty() ? Describe(err) : why);
    }
    return true;
}

// Removes a symbolic link (a reparse point that is no folder) at the name, never what it leads
// to, so that the replace makes a new file there.
bool RemoveLinkAt(const std::string& nativePath, std::string* error) {
    const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) || ::DeleteFileA(nativePath.c_str()))
        return true;
    if (error) *error = Describe(::GetLastError());
    return false;
}

} // namespace

bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error) {
    return Replace(nativePath, &data, {}, error);
}

bool ReplaceFileAtName(const std::string& nativePath, const std::string& data, std::string* error) {
    return RemoveLinkAt(nativePath, error) && Replace(nativePath, &data, {}, error);
}

bool ReplaceFileAtName(const std::string& nativePath, const FileWriter& write, std::string* error) {
    return RemoveLinkAt(nativePath, error) && Replace(nativePath, nullptr, write, error);
}

bool ReplaceFilesAtName(const std::vector<std::pair<std::string, std::string>>& files,
                        std::size_t& failed, std::string* error) {
    for (failed = 0; failed < files.size(); ++failed)
        if (!ReplaceFileAtName(files[failed].first, files[failed].second, error)) return false;
    return true;
}

EntryType TypeOf(const std::string& nativePath) {
    const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryType::None;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::Folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryType::Other : EntryType::File;
}

} // namespace Platform
