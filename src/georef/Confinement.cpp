// GDAL confined to the source's folder and kept off the network: its local file system replaced
// by a guard that looks at each file before GDAL's own opens it, its network file systems and
// HTTP requests refused, PROJ's network off, and a VRT's raw bands refused.
#include "georef/Confinement.h"

#include <cpl_conv.h>
#include <cpl_http.h>
#include <cpl_vsi_virtual.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/stat.h>

namespace Georef::Detail {
namespace {

std::mutex refusalLock;
std::string firstRefusal;

// Keeps the first refusal; sets errno for GDAL's message.
void Refuse(const std::string& why) {
    std::lock_guard guard(refusalLock);
    if (firstRefusal.empty()) firstRefusal = why;
    errno = EACCES;
}

void RefuseAddress(const char* address) {
    Refuse(std::string("it names the network address ") + address +
           ", and an import reads only files beside its source");
}

// What a file that is not a plain one is, as people name it; "" for a plain file or a folder
// (reading a folder fails at once).
const char* SpecialKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "";
}

std::string RealPath(const char* path) {
    char real[PATH_MAX];
    return ::realpath(path, real) ? std::string(real) : std::string();
}

// Whether a real path is the folder or lies below it.
bool Within(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/');
}

// GDAL's own handlers that the confinement stands in front of or in place of: kept for the
// process's life, as GDAL keeps its handlers.
std::vector<VSIFilesystemHandler*>& Replaced() {
    static auto* handlers = new std::vector<VSIFilesystemHandler*>;
    return *handlers;
}

constexpr const char* kRawBand = "VRTRawRasterBand";

bool HoldsNoCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// Whether the file just opened is a VRT with a band of a file's raw bytes (a VRT names its
// bands' kinds in its first megabytes, which GDAL reads whole anyway). The file is left at its
// start.
bool RawBandVrt(VSIVirtualHandle* file) {
    std::string head(1024, '\0');
    head.resize(file->Read(head.data(), 1, head.size()));
    bool raw = false;
    if (head.find("<VRTDataset") != std::string::npos) {
        std::string all(16 << 20, '\0');
        file->Seek(0, SEEK_SET);
        all.resize(file->Read(all.data(), 1, all.size()));
        raw = HoldsNoCase(all, kRawBand);
    }
    file->Seek(0, SEEK_SET);
    return raw;
}

// A file system GDAL reads local files through (its own, archives, parts of files): each file
// opened is looked at before GDAL reads it, and a VRT with raw bands is refused, also one given
// as its text in place of a file name.
class Inspecting : public VSIFilesystemHandler {
public:
    explicit Inspecting(VSIFilesystemHandler* inner) : inner_(inner) {}
    VSIVirtualHandle* Open(const char* path, const char* access, bool setError,
                           CSLConstList options) override {
        if (std::strpbrk(access, "wa+")) { // nothing of the source's is written
            errno = EACCES;
            return nullptr;
        }
        if (!Admit(path)) return nullptr;
        VSIVirtualHandle* file = inner_->Open(path, access, setError, options);
        if (file && RawBandVrt(file)) {
            file->Close();
            delete file;
            return RefuseRaw(path), nullptr;
        }
        return file;
    }
    int Stat(const char* path, VSIStatBufL* buf, int flags) override {
        if (HoldsNoCase(path, kRawBand)) return RefuseRaw(path), -1;
        if (!Admit(path)) return -1;
        return inner_->Stat(path, buf, flags);
    }
    char** ReadDirEx(const char* path, int maxFiles) override {
        return inner_->ReadDirEx(path, maxFiles);
    }
    char** SiblingFiles(const char* path) override { return inner_->SiblingFiles(path); }
    int IsCaseSensitive(const char* path) override { return inner_->IsCaseSensitive(path); }
    int Unlink(const char*) override { return Unwritable(); }
    int Mkdir(const char*, long) override { return Unwritable(); }
    int Rmdir(const char*) override { return Unwritable(); }
    int Rename(const char*, const char*) override { return Unwritable(); }

protected:
    // Whether the file may be opened or looked at at all; false after refusing it.
    virtual bool Admit(const char*) { return true; }

private:
    static int Unwritable() {
        errno = EACCES;
        return -1;
    }
    static void RefuseRaw(const char* path) {
        const std::string name = std::strchr(path, '<') ? std::string("a VRT it holds") : path;
        Refuse(name + " is a VRT whose band would read a file's bytes as raw pixels (" + kRawBand +
               "), which an import never does");
    }
    VSIFilesystemHandler* inner_;
};

// The local file system as GDAL sees it: GDAL's own, each file looked at before it is opened:
// a plain file within the allowed folders (or GDAL's and PROJ's data) or nothing.
class Guard : public Inspecting {
public:
    Guard(VSIFilesystemHandler* local, std::vector<std::string> folders,
          std::vector<std::string> data)
        : Inspecting(local), folders_(std::move(folders)), data_(std::move(data)) {}

protected:
    bool Admit(const char* path) override {
        // A name holding an address (a driver's "NETCDF:\"http://...\"") is reached by the
        // driver's own library, past GDAL's file systems.
        if (std::strstr(path, "://")) return RefuseAddress(path), false;
        struct stat st {};
        const std::string real = RealPath(path);
        if (real.empty() || ::stat(real.c_str(), &st) != 0) return true; // GDAL finds nothing
        if (*SpecialKind(st.st_mode)) {
            Refuse("it names " + real + ", which is " + SpecialKind(st.st_mode) +
                   ", not a plain file");
            return false;
        }
        if (!Allowed(real)) {
            Refuse("it names " + real + ", which lies outside its folder");
            return false;
        }
        return true;
    }

private:
    bool Allowed(const std::string& real) const {
        for (const auto* roots : {&folders_, &data_})
            for (const std::string& root : *roots)
                if (Within(real, root)) return true;
        return false;
    }
    std::vector<std::string> folders_, data_;
};

// In place of a network file system (/vsicurl/, the cloud stores, also streamed) or standard
// input and output: nothing there is reached.
class Offline : public VSIFilesystemHandler {
public:
    VSIVirtualHandle* Open(const char* path, const char*, bool, CSLConstList) override {
        return RefuseAddress(path), nullptr;
    }
    int Stat(const char* path, VSIStatBufL*, int) override { return RefuseAddress(path), -1; }
    bool IsLocal(const char*) override { return false; }
};

// GDAL's file systems that read only what lies in local files (archives, parts of files,
// memory), which go on through the guard; every other one is refused.
bool ReadsLocalFiles(const std::string& prefix) {
    for (const char* local : {"/vsigzip/", "/vsimem/", "/vsisparse/", "/vsisubfile/", "/vsitar/",
                              "/vsizip/", "/vsicrypt/", "/vsi7z/", "/vsirar/"})
        if (prefix == local) return true;
    return false;
}

CPLHTTPResult* RefuseRequest(const char* url, CSLConstList, GDALProgressFunc, void*,
                             CPLHTTPFetchWriteFunc, void*, void*) {
    RefuseAddress(url);
    auto* result = static_cast<CPLHTTPResult*>(CPLCalloc(1, sizeof(CPLHTTPResult)));
    result->nStatus = 1;
    result->pszErrBuf = CPLStrdup("network access is off");
    return result;
}

// GDAL's and PROJ's own data folders, which GDAL may read whatever the source.
std::vector<std::string> DataFolders() {
    std::vector<std::string> folders;
    if (const char* file = CPLFindFile("gdal", "gdalvrt.xsd"))
        folders.push_back(RealPath(CPLGetPath(file)));
    if (char** paths = OSRGetPROJSearchPaths()) {
        for (char** p = paths; *p; ++p) folders.push_back(RealPath(*p));
        CSLDestroy(paths);
    }
    std::erase(folders, std::string());
    return folders;
}

} // namespace

void Confine(const std::vector<std::string>& folders) {
    GDALAllRegister();
    // GDAL 3.6 has no switch for a VRT's raw bands (GDAL_VRT_ENABLE_RAWRASTERBAND came later):
    // the handlers below refuse them. Python in a VRT's pixel functions is off.
    CPLSetConfigOption("GDAL_VRT_ENABLE_PYTHON", "NO");
    OSRSetPROJEnableNetwork(FALSE);
    CPLHTTPSetFetchCallback(RefuseRequest, nullptr);
    // Drivers whose data lie on servers, which some reach past both of the above (a WMS's tiles);
    // a file naming one of them is then no format GDAL reads.
    for (const char* name : {"WMS", "WMTS", "WCS", "HTTP", "PLMOSAIC", "DAAS", "EEDAI", "OGCAPI",
                             "STACTA", "STACIT", "NGW", "PostGISRaster"})
        if (GDALDriverH driver = GDALGetDriverByName(name)) {
            GDALDeregisterDriver(driver);
            GDALDestroyDriver(driver);
        }
    // The handlers live as long as the process, as GDAL's own do.
    if (char** prefixes = VSIFileManager::GetPrefixes()) {
        auto* offline = new Offline;
        Replaced().push_back(offline);
        for (char** p = prefixes; *p; ++p) {
            Replaced().push_back(VSIFileManager::GetHandler(*p));
            if (std::strcmp(*p, "/vsimem/") == 0) continue; // GDAL's own, in this process
            VSIFileManager::InstallHandler(
                *p, ReadsLocalFiles(*p)
                        ? static_cast<VSIFilesystemHandler*>(new Inspecting(Replaced().back()))
                        : offline);
        }
        CSLDestroy(prefixes);
    }
    std::vector<std::string> real;
    for (const std::string& folder : folders)
        if (std::string r = RealPath(folder.c_str()); !r.empty()) real.push_back(r);
    Replaced().push_back(VSIFileManager::GetHandler("/"));
    VSIFileManager::InstallHandler("",
                                   new Guard(Replaced().back(), std::move(real), DataFolders()));
}

std::string Refusal() {
    std::lock_guard guard(refusalLock);
    return firstRefusal;
}

void ForgetRefusal() {
    std::lock_guard guard(refusalLock);
    firstRefusal.clear();
}

std::string SourceRefusal(const std::string& source) {
    if (source.rfind("/vsi", 0) == 0)
        return "it names a file system of GDAL's (" + source + "), not a file";
    if (source.find("://") != std::string::npos)
        return "it is a network address, and an import reads only files";
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder, not a plain file";
    if (!S_ISREG(st.st_mode))
        return std::string("it is ") + SpecialKind(st.st_mode) + ", not a plain file";
    return {};
}

} // namespace Georef::Detail
