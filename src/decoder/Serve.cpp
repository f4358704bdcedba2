// The decoder's loop: one piece of work at a time, read row after row from the picture file and
// reduced on the way, so that its memory is a few rows of the picture (plus what the format
// itself must hold). The program kills the decoder when its work is abandoned; it keeps nothing
// between pieces.
#include "decoder/Serve.h"

#include "decoder/Pyramid.h"
#include "decoder/Readers.h"
#include "platform/MemoryBound.h"
#include "platform/System.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace Decoder {
namespace {

using Protocol::Answer;
using Protocol::Kind;
using Protocol::Reply;
using Protocol::Work;

void WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0); // the program has gone
        p += n, size -= std::size_t(n);
    }
}

bool ReadAll(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, size -= std::size_t(n);
    }
    return true;
}

void Send(int socket, Answer answer, int level = 0, std::int64_t rows = 0,
          const std::string& text = {}) {
    Reply reply;
    reply.answer = answer;
    reply.level = level;
    reply.rows = rows;
    reply.textBytes = std::uint32_t(text.size());
    WriteAll(socket, &reply, sizeof reply);
    WriteAll(socket, text.data(), text.size());
}

// Rows of level `from` (from `firstRow`), columns at least x0 .. x1 - 1, of the picture.
void Rows(int fd, const Request& r, int from, std::int64_t firstRow, std::int64_t x0,
          std::int64_t x1, Sink& sink) {
    switch (r.kind) {
    case Kind::Jpeg:
        return ReadJpeg(fd, r, from, firstRow, x0, x1, sink);
    case Kind::Gif: {
        Skip skip(firstRow, sink);
        return ReadGif(fd, r, skip);
    }
    case Kind::Bmp:
        return ReadBmp(fd, r, firstRow, sink);
    case Kind::Png: {
        Skip skip(firstRow, sink);
        return ReadPng(fd, r, skip);
    }
    }
    throw Failure("a request the decoder cannot follow");
}

void Check(bool followed) {
    if (!followed) throw Failure("a request the decoder cannot follow");
}

// A region of a level into the shared memory `out`.
void Region(int fd, const Request& r, int from, int out) {
    const std::int64_t lw = LevelSide(r.width, r.level), lh = LevelSide(r.height, r.level);
    Check(r.x >= 0 && r.y >= 0 && r.w > 0 && r.h > 0 && r.x + r.w <= lw && r.y + r.h <= lh);
    CheckMemory(std::uint64_t(LevelSide(r.width, from)) * 4 * 4, r, "a row of this picture");
    const int f = r.level - from;
    RegionSink region(out, r, r.y);
    Chain chain(r.width, from, r.level, region);
    Rows(fd, r, from, r.y << f, r.x << f, (r.x + r.w) << f, chain.Head());
}

// Every tile of the request's levels into the file or shared memory `out`.
void BuildPyramid(int fd, const Request& r, int from, int out, int socket) {
    Check(r.pixelBytes == 3 || r.pixelBytes == 4);
    CheckMemory(Protocol::PyramidBytes(r.width, r.level, r.lastLevel, r.tile, r.pixelBytes) +
                    std::uint64_t(LevelSide(r.width, from)) * 4 * 4,
                r, "a strip of this picture");
    const auto pyramid = PyramidSink(r, out, [socket](int level, std::int64_t rows) {
        Send(socket, Answer::Progress, level, rows);
    });
    Chain chain(r.width, from, r.level, *pyramid);
    Rows(fd, r, from, 0, 0, LevelSide(r.width, from), chain.Head());
}

// A pyramid is built by a thread of lower priority than the program's and than a region's
// decode, so that the screen's part and the program's events come first on a busy machine.
// (Linux sets a thread's own priority by its id; the process's other threads keep theirs.)
void Pyramid(int fd, const Request& r, int from, int out, int socket) {
    std::exception_ptr failed;
    std::thread worker([&] {
        ::setpriority(PRIO_PROCESS, id_t(::gettid()), 10);
        try {
            BuildPyramid(fd, r, from, out, socket);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    worker.join();
    if (failed) std::rethrow_exception(failed);
}

// Does one piece of work.
void DoWork(const Request& r, const std::string& path, int out, int socket) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Failure("the picture cannot be read: " + std::string(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    Check(r.protocol == Protocol::kVersion && r.level >= 0 && r.level < Protocol::kMaxLevels &&
          r.lastLevel >= r.level && r.lastLevel < Protocol::kMaxLevels && r.width > 0 &&
          r.height > 0 && r.tile >= 2 && r.tile <= 1024 && r.tile % 2 == 0);
    // libjpeg reduces by up to 8 itself; the rest is halving.
    const int from = r.kind == Kind::Jpeg ? std::min(r.level, 3) : 0;
    if (r.work == Work::Region)
        Region(fd, r, from, out);
    else
        Pyramid(fd, r, from, out, socket);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false; // the sanitizer reserves terabytes up front
#else
constexpr bool kLimitAddressSpace = true;
#endif

// The next request, its path and the descriptor of its output; false when the program has
// closed the socket.
bool Receive(int socket, Request& r, std::string& path, int& out) {
    if (!ReadAll(socket, &r, sizeof r) || r.pathBytes > 65536) return false;
    path.assign(r.pathBytes, '\0');
    if (!ReadAll(socket, path.data(), path.size())) return false;
    // The output's descriptor comes alone, after the request.
    char byte = 0;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec io{&byte, 1};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC) <= 0) return false;
    out = -1;
    if (cmsghdr* c = CMSG_FIRSTHDR(&msg); c && c->cmsg_type == SCM_RIGHTS)
        std::memcpy(&out, CMSG_DATA(c), sizeof out);
    return true;
}

} // namespace

int Serve(int socket) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // gone with the program, whatever its end
    if (::getppid() == 1) return 0;
    const std::uint64_t base = Platform::MappedDataBytes();
    // No piece of work takes more than the bound, whatever its request says.
    const std::uint64_t bound = Platform::ReadMemoryBound().bytes;
    for (;;) {
        Request r;
        std::string path;
        int out = -1;
        if (!Receive(socket, r, path, out)) return 0;
        r.memory = r.memory ? std::min(r.memory, bound) : bound;
        if (kLimitAddressSpace) {
            // A reader that allocates beyond what was worked out fails instead of growing.
            const rlimit limit{rlim_t(base + r.memory + (64u << 20)), RLIM_INFINITY};
            ::setrlimit(RLIMIT_DATA, &limit);
        }
        try {
            DoWork(r, path, out, socket);
            Send(socket, Answer::Done);
        } catch (const std::bad_alloc&) {
            Send(socket, Answer::Failed, 0, 0,
                 "the picture is too large to decode (it needs more than this machine allows, " +
                     MiBText(r.memory) + ")");
        } catch (const std::exception& e) {
            Send(socket, Answer::Failed, 0, 0, e.what());
        }
        if (out >= 0) ::close(out);
    }
}

} // namespace Decoder
