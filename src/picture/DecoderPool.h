#pragma once
// The decoding processes shared by every picture of the program, and the work queued for them.
// Work runs in order of priority, each piece once the memory it reserves fits beside the
// pieces under way (together at most DecodeLimit()); cancelled work stops at once, its process
// killed. A process that ends, killed or not, is started again at once, so that no piece of work
// waits for a start. Inside the picture component only.

#include "decoder/Protocol.h"

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace Picture::Decoders {

using Ticket = std::shared_ptr<std::atomic<bool>>;

struct Job {
    Decoder::Protocol::Request request;
    std::string path;           // native
    int output = -1;            // the descriptor the work writes into
    std::shared_ptr<void> keep; // kept until the work has ended (the output's owner)
    std::uint64_t reserve = 0;  // memory reserved while it runs, bytes
    int priority = 0;           // higher first
    // Called on a decoding thread: each tile row written (pyramids), then once at the end with
    // "" or why it failed. Never called once the work is cancelled.
    std::function<void(int level, std::int64_t rows)> progress;
    std::function<void(const std::string& error)> done;
    // Called on a decoding thread once the work is handed on, while it runs (to have the
    // output's pages meanwhile).
    std::function<void()> meanwhile;
    Ticket ticket; // made by Submit when not given
};

// Posts work to a QObject's thread for as long as the object lives (Close before it goes).
struct Mailbox {
    explicit Mailbox(QObject* t) : target(t) {}
    template <typename F> void Post(F f);
    void Close() {
        std::lock_guard lock(mutex);
        target = nullptr;
    }
    std::mutex mutex;
    QObject* target;
};

// Starts the processes, if they are not running yet.
void Prepare();
// Queues the work; the ticket cancels it.
Ticket Submit(Job job);
// Stops the work at once: dropped from the queue, or its process killed.
void Cancel(const Ticket& ticket);
// Runs the work on a decoding process and waits for it; "" or why it failed.
std::string Run(Job job);

} // namespace Picture::Decoders

template <typename F> void Picture::Decoders::Mailbox::Post(F f) {
    std::lock_guard lock(mutex);
    if (target) QMetaObject::invokeMethod(target, std::move(f), Qt::QueuedConnection);
}
