// Small pictures of many files, each decoded reduced through the decoding processes; the files
// are opened on a pool of threads of its own, off the interface thread.
#include "picture/Work.h"

#include <set>

namespace Picture {

struct Thumbnails::Shared {
    Decoders::Mailbox mailbox;
    std::mutex mutex;
    std::set<Decoders::Ticket> tickets;
    std::uint64_t generation = 0;
    Count held = std::make_shared<std::atomic<std::int64_t>>(0);
    explicit Shared(QObject* target) : mailbox(target) {}
    bool Current(std::uint64_t g) {
        std::lock_guard lock(mutex);
        return g == generation;
    }
};

namespace {

// The work of a picture decoded whole at the finest level no larger than `longest` needs (then
// smoothly reduced to the size asked), into `block`; `rect` is the level's whole.
Decoders::Job ThumbnailJob(const Source& source, int longest, QRect& rect,
                           std::shared_ptr<System::SharedBlock>& block) {
    int level = 0;
    const int larger = std::max(source.size.width(), source.size.height());
    while ((LevelSide(larger, level + 1)) >= longest && level < 30) ++level;
    level = std::max(level, ReductionLevel(source));
    rect = LevelRect(QRect(QPoint(), source.size), level, source.size);
    return RegionJob(source, level, rect, block);
}

// The decoded level at the size asked, off the shared memory.
QImage Thumbnail(const std::shared_ptr<System::SharedBlock>& block, QRect rect, QSize full,
                 int longest) {
    const QSize target = full.scaled(longest, longest, Qt::KeepAspectRatio);
    const QImage image = ImageOf(block, rect.size());
    if (target.width() < rect.width() || target.height() < rect.height())
        return image.scaled(target.boundedTo(rect.size()), Qt::IgnoreAspectRatio,
                            Qt::SmoothTransformation);
    return image.copy();
}

} // namespace

Thumbnails::Thumbnails(QObject* parent) : QObject(parent) {
    // Files opened off the interface thread; the decoding itself is the processes'.
    pool_.setMaxThreadCount(2);
    shared_ = std::make_shared<Shared>(this);
}

Thumbnails::~Thumbnails() {
    Clear();
    shared_->mailbox.Close();
    pool_.waitForDone();
}

void Thumbnails::Clear() {
    pool_.clear(); // requests not started go at once
    std::set<Decoders::Ticket> tickets;
    {
        std::lock_guard lock(shared_->mutex);
        ++shared_->generation;
        tickets.swap(shared_->tickets);
    }
    for (const auto& t : tickets) Decoders::Cancel(t);
    pending_ = 0;
}

std::int64_t Thumbnails::Held() const {
    return shared_->held->load();
}

QImage Thumbnails::Reduced(const QImage& image, int longest) const {
    return Counted(image.scaled(image.size().scaled(longest, longest, Qt::KeepAspectRatio),
                                Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                   shared_->held);
}

void Thumbnails::Request(const QString& key, const std::string& winPath, int longest) {
    ++pending_;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = shared_->generation;
    }
    auto shared = shared_;
    auto answer = [this, shared, key, longest, generation](QImage image, std::string error) {
        shared->mailbox.Post([=, this] {
            if (!shared->Current(generation)) return; // cleared since
            --pending_;
            emit Ready(key, image, QString::fromStdString(error), longest);
        });
    };
    pool_.start([shared, winPath, longest, generation, answer] {
        if (!shared->Current(generation)) return;
        QRect rect;
        std::shared_ptr<System::SharedBlock> block;
        Decoders::Job job;
        QSize full;
        try {
            const Source source = Open(winPath);
            full = source.size;
            job = ThumbnailJob(source, longest, rect, block);
        } catch (const std::exception& e) {
            answer(QImage(), e.what());
            return;
        }
        job.ticket = std::make_shared<std::atomic<bool>>(false);
        job.done = [answer, block, rect, full, longest, shared,
                    ticket = job.ticket](const std::string& error) {
            {
                std::lock_guard lock(shared->mutex);
                shared->tickets.erase(ticket);
            }
            if (!error.empty()) return answer(QImage(), error);
            answer(Counted(Thumbnail(block, rect, full, longest), shared->held), {});
        };
        std::lock_guard lock(shared->mutex);
        if (generation != shared->generation) return;
        shared->tickets.insert(job.ticket);
        Decoders::Submit(std::move(job));
    });
}

} // namespace Picture
