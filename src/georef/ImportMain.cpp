// varnet-importer SOURCE PICTURE DATUM BYTES: an import source read, warped and written as a
// JPEG in a process of its own (ImportProcess.h says what passes), so that whatever the source
// holds, the program that asked keeps its memory and its life, and ends the import by ending
// this process. GDAL here reads only the source's folder and reaches no network (Confinement.h);
// the process's data may not grow past the bound and a margin, and it opens no internet socket.
#include "georef/Confinement.h"
#include "georef/ImportPicture.h"
#include "platform/System.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <new>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace Georef;
using namespace Georef::Detail;

#if defined(__x86_64__)
constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kArch = 0; // no filter on other machines
#endif

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitData = false; // the sanitizer reserves terabytes up front
#else
constexpr bool kLimitData = true;
#endif

void Report(const std::string& line) {
    const char* p = line.data();
    for (std::size_t left = line.size(); left > 0;) {
        const ssize_t n = ::write(ImportProtocol::kReportFd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1); // the program has gone
        p += n, left -= std::size_t(n);
    }
}

// Sockets other than the system's own local ones fail: whatever a driver tries, no connection
// leaves the machine (GDAL's own ways out are closed in Confinement.cpp, with clearer words).
void NoInternetSockets() {
    if (!kArch) return;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_socket, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_UNIX, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

int Run(char** argv) {
    PictureJob job;
    job.source = argv[ImportProtocol::kSource];
    job.picture = argv[ImportProtocol::kPicture];
    job.mapPicture = argv[ImportProtocol::kMapPicture];
    job.mapDefinition = argv[ImportProtocol::kMapDefinition];
    job.datum =
        std::strcmp(argv[ImportProtocol::kDatum], "WGS84") == 0 ? Datum::WGS84 : Datum::OSGB36;
    job.memoryLimit = std::strtoull(argv[ImportProtocol::kMemory], nullptr, 10);
    int shown = -1;
    job.progress = [&shown](double done) {
        if (int(done * 1000) == shown) return;
        shown = int(done * 1000);
        Report(ImportProtocol::ProgressLine(done));
    };
    // The source's folder: as named, and where a link there leads.
    std::error_code ec;
    const std::filesystem::path named = std::filesystem::absolute(job.source, ec);
    Confine({named.parent_path().string(),
             std::filesystem::canonical(named, ec).parent_path().string()});
    if (kLimitData) {
        const rlimit limit{rlim_t(Platform::MappedDataBytes() + job.memoryLimit + (64u << 20)),
                           RLIM_INFINITY};
        ::setrlimit(RLIMIT_DATA, &limit);
    }
    try {
        Report(ImportProtocol::GridLine(ImportPicture(job)));
    } catch (const Error& e) {
        Report(ImportProtocol::FaultLine(e.kind(), e.what()));
    } catch (const std::bad_alloc&) {
        Report(ImportProtocol::FaultLine(
            Error::Kind::Refused,
            job.source + " cannot be imported: it needs more memory than the picture memory "
                         "bound allows (VARNET_PICTURE_LIMIT_MB)."));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // gone with the program that started it, whatever its end
    if (argc != ImportProtocol::kArguments || ::getppid() == 1) {
        std::fprintf(stderr,
                     "varnet-importer: started by Varnet only, to read an import's source\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    NoInternetSockets();
    return Run(argv);
}
