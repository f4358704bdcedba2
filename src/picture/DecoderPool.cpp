#include "picture/DecoderPool.h"

#include "picture/DecodeSystem.h"
#include "picture/PictureLoader.h"

#include <algorithm>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Picture::Decoders {
namespace {

struct Queued {
    Job job;
    Ticket ticket;
};
// Higher priority first, then in the order queued.
using Place = std::pair<int, std::uint64_t>;

class Pool {
public:
    Pool() {
        // Two processes: the part in view and the rest of the picture decode side by side.
        for (int i = 0; i < 2; ++i) slots_.push_back(std::make_unique<Slot>());
        for (auto& slot : slots_) slot->thread = std::thread([this, s = slot.get()] { Serve(*s); });
    }
    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
            byTicket_.clear();
        }
        WakeAll();
        for (auto& slot : slots_) slot->thread.join();
    }

    Ticket Submit(Job job) {
        auto ticket = job.ticket ? job.ticket : std::make_shared<std::atomic<bool>>(false);
        {
            std::lock_guard lock(mutex_);
            const Place place{-job.priority, ++order_};
            byTicket_.emplace(ticket.get(), place);
            queue_.emplace(place, Queued{std::move(job), ticket});
        }
        WakeAll();
        return ticket;
    }

    void Cancel(const Ticket& ticket) {
        if (!ticket) return;
        *ticket = true;
        std::lock_guard lock(mutex_);
        const auto [from, to] = byTicket_.equal_range(ticket.get());
        for (auto it = from; it != to; ++it) queue_.erase(it->second);
        byTicket_.erase(from, to);
        for (auto& slot : slots_)
            if (slot->current == ticket) slot->process.Wake();
    }

private:
    struct Slot {
        System::Process process;
        std::thread thread;
        Ticket current;
    };

    // The next piece this slot may run: the first of the highest priority, once its memory
    // fits. Kept in order as queued, so that taking costs the same however long the queue.
    bool Take(Queued& out) {
        if (queue_.empty()) return false;
        const auto best = queue_.begin();
        // Work alone always runs: what could never fit was refused before it was queued.
        if (reserved_ > 0 && reserved_ + best->second.job.reserve > DecodeLimit()) return false;
        out = std::move(best->second);
        const auto [from, to] = byTicket_.equal_range(out.ticket.get());
        for (auto it = from; it != to; ++it)
            if (it->second == best->first) {
                byTicket_.erase(it);
                break;
            }
        queue_.erase(best);
        reserved_ += out.job.reserve;
        return true;
    }

    // Each slot's thread waits for work, or for its process to end, in the process's own wait
    // (Wake rouses it), so that a process that ends while it waits is replaced at once.
    void WakeAll() {
        for (auto& slot : slots_) slot->process.Wake();
    }

    void Serve(Slot& slot) {
        std::string ignored;
        int ended = 0; // processes that ended of themselves while they waited, one after another
        for (;;) {
            // Ready before the next piece asks: at first, and again at once when one has ended
            // (killed for a piece abandoned, or gone); one that keeps ending of itself while it
            // waits is started when work comes, so that a broken decoder is not started over and
            // over.
            if (!slot.process.Running() && ended < 2) slot.process.Start(ignored);
            Queued q;
            {
                std::lock_guard lock(mutex_);
                if (stopping_) return;
                if (Take(q)) slot.current = q.ticket;
            }
            if (!q.ticket) {
                Decoder::Protocol::Reply reply;
                std::string text;
                if (slot.process.Next(reply, text) != System::Process::Event::Woken) {
                    slot.process.Kill(); // gone while it waited
                    ended = slot.process.EndedElsewhere() ? 0 : ended + 1;
                }
                continue;
            }
            ended = 0;
            const std::string error = Work(slot, q);
            {
                std::lock_guard lock(mutex_);
                slot.current.reset();
                reserved_ -= q.job.reserve;
            }
            WakeAll(); // its memory is free for work that waits for it
            if (!*q.ticket && error != kStopped && q.job.done) q.job.done(error);
        }
    }

    static constexpr const char* kStopped = "\1stopped";
    static constexpr const char* kGone = "\1gone";
    // Said when the processes keep ending before they answer anything.
    static constexpr const char* kKeepsGoing =
        "the picture cannot be decoded (its decoding process has gone)";

    // Hands the work to the slot's process; one that has gone while it waited is started again
    // for it. "" or why it cannot be handed on.
    static std::string Hand(Slot& slot, const Job& job) {
        std::string error;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!slot.process.Start(error)) return error;
            if (slot.process.Send(job.request, job.path, job.output)) return {};
            slot.process.Kill();
        }
        return kKeepsGoing;
    }

    // The work handed on, to its end: "" or why it failed. A process that goes before it has
    // answered anything (killed while it waited, or at its start) is started again and the work
    // handed to it once more; one that goes again before answering keeps going, one that goes
    // after answering failed on the picture.
    std::string Work(Slot& slot, Queued& q) {
        for (bool first = true;; first = false) {
            if (*q.ticket) return kStopped;
            if (std::string error = Hand(slot, q.job); !error.empty()) return error;
            if (q.job.meanwhile) q.job.meanwhile();
            if (std::string result = Follow(slot, q, first); result != kGone) return result;
        }
    }

    // The process's replies to the work: "" or why it failed, kStopped, or kGone when it went
    // before answering and `again` allows another try.
    std::string Follow(Slot& slot, Queued& q, bool again) {
        bool answered = false;
        for (;;) {
            Decoder::Protocol::Reply reply;
            std::string text;
            switch (slot.process.Next(reply, text)) {
            case System::Process::Event::Woken:
                if (*q.ticket || Stopping()) {
                    slot.process.Kill(); // its work and memory end here
                    return kStopped;
                }
                break;
            case System::Process::Event::Gone:
                slot.process.Kill();
                if (!answered) return again ? kGone : kKeepsGoing;
                return "the picture is damaged or cannot be decoded (its decoder stopped)";
            case System::Process::Event::Reply:
                answered = true;
                if (reply.answer == Decoder::Protocol::Answer::Progress) {
                    if (q.job.progress && !*q.ticket) q.job.progress(reply.level, reply.rows);
                    break;
                }
                return reply.answer == Decoder::Protocol::Answer::Done ? std::string() : text;
            }
        }
    }

    bool Stopping() {
        std::lock_guard lock(mutex_);
        return stopping_;
    }

    std::mutex mutex_;
    std::map<Place, Queued> queue_;
    std::unordered_multimap<const void*, Place> byTicket_; // the queued work of each ticket
    std::vector<std::unique_ptr<Slot>> slots_;
    std::uint64_t reserved_ = 0, order_ = 0;
    bool stopping_ = false;
};

Pool& Instance() {
    // Made at first use, ended with the program: its processes killed, its threads joined.
    static Pool pool;
    return pool;
}

} // namespace

void Prepare() {
    Instance(); // its threads start the processes
}

Ticket Submit(Job job) {
    return Instance().Submit(std::move(job));
}

void Cancel(const Ticket& ticket) {
    Instance().Cancel(ticket);
}

std::string Run(Job job) {
    auto finished = std::make_shared<std::promise<std::string>>();
    std::future<std::string> result = finished->get_future();
    job.done = [finished](const std::string& error) { finished->set_value(error); };
    Submit(std::move(job));
    return result.get();
}

} // namespace Picture::Decoders
