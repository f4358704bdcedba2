#pragma once
// The operating system's part in decoding pictures: the decoding process, memory shared with it,
// the tile file of the disc cache and the cache folder. One implementation per system
// (posix/DecodeSystem.cpp); the rest of the picture component knows nothing of them.

#include "decoder/Protocol.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Picture::System {

// A block of memory that a decoding process can write into.
class SharedBlock {
public:
    // `bytes` of zeroes. Throws std::runtime_error saying why when it cannot be had.
    explicit SharedBlock(std::size_t bytes);
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;
    int Handle() const { return handle_; }
    unsigned char* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    // Has every page of the block mapped here now, rather than one fault at a time when it is
    // first read.
    void Map();
    // The same for a block just made (its zeroes written back), a page at a time, so that a
    // thread that runs only when the processors are idle holds up no other while it waits.
    void MapByPages();

private:
    int handle_ = -1;
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Makes the calling thread run only when the processors have nothing else to do.
void RunWhenIdle();

// The folder of the disc cache: $XDG_CACHE_HOME/varnet (by default ~/.cache/varnet).
std::string CacheFolder();
// Bytes free for this user on the disc that holds `folder` (or the nearest folder above it that
// exists); 0 when it cannot be told.
std::uint64_t FreeBytes(const std::string& folder);

// Removes the tile files that processes of this machine left in the cache folder when they ended
// without removing them (killed, or crashed): those whose process is gone.
void RemoveAbandonedTiles();

// A file of tiles in the cache folder, named after this process and machine, removed when this
// object goes, and at the process's exit. Abandoned files are removed when the next one is made.
class TileFile {
public:
    // Made empty at `bytes` (sparse where the system allows). Throws std::runtime_error.
    explicit TileFile(std::uint64_t bytes);
    ~TileFile();
    TileFile(const TileFile&) = delete;
    TileFile& operator=(const TileFile&) = delete;
    int Handle() const { return handle_; }
    const std::string& Path() const { return path_; }
    // Removes the file's name at once (what still has it open may go on using it).
    void Remove();
    // Reads `bytes` at `offset`; false when they cannot all be read.
    bool Read(std::uint64_t offset, void* to, std::size_t bytes) const;

private:
    int handle_ = -1;
    std::string path_;
    std::atomic<bool> removed_{false};
};

// The decoding program to start, found in this order: VARNET_DECODER when set (and then only
// it); varnet-decoder beside the running program; in the library folder's varnet/ of the
// installation the program runs from; where the build made it. "" when none is there.
std::string FindDecoder();

// A decoding process: the decoding program started to serve decoding work (see
// decoder/Protocol.h). It is used from one thread at a time.
class Process {
public:
    Process();
    ~Process(); // killed
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // True while its process lives. One that has ended (killed, or gone of itself while it
    // waited for work) is noticed here and forgotten, so that Start starts another.
    bool Running();
    // Starts it if it is not running; false with `error` when it cannot be started
    // (kDecoderMissing when there is no decoding program).
    bool Start(std::string& error);
    // Ends it at once (its work and memory go with it) and waits for it to be gone.
    void Kill();
    // Whether the process last noticed to have ended was ended by a signal to end (SIGKILL,
    // SIGTERM, SIGINT or SIGHUP: another program's, or Kill's), rather than of itself (an exit,
    // a fault).
    bool EndedElsewhere() const { return endedElsewhere_; }
    // Hands it one piece of work writing into `output`; false when it has gone.
    bool Send(const Decoder::Protocol::Request& request, const std::string& path, int output);

    enum class Event { Reply, Woken, Gone };
    // Waits for its next reply (and the reply's text), or until Wake is called.
    Event Next(Decoder::Protocol::Reply& reply, std::string& text);
    // Wakes a thread waiting in Next (from any thread).
    void Wake();

private:
    // Forgets the process that has ended with `status` (waitpid's).
    void Ended(int status);
    int pid_ = -1;
    int socket_ = -1;
    int wake_[2] = {-1, -1};
    bool endedElsewhere_ = false;
};

} // namespace Picture::System
