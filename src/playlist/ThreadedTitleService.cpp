// Title reading on worker threads. Each worker owns its reader (made on that thread by the
// factory), takes a small batch from a shared queue, reads it and posts the batch back to the
// UI thread. A generation number lets cancelAll() drop batches that are already on their way.
#include <QObject>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "playlist/TitleService.h"

namespace kelvra::playlist {
namespace {

// Small enough that the first screenful of titles shows almost at once, large enough that the
// UI thread is not woken for every file.
constexpr std::size_t kBatchSize = 48;

class ThreadedTitleService final : public TitleService {
  public:
    ThreadedTitleService(TitleReaderFactory factory, int threads)
        : factory_(std::move(factory)), receiver_(new QObject) {
        const int count = std::max(1, threads);
        for (int i = 0; i < count; ++i)
            workers_.emplace_back([this] { work(); });
    }

    ~ThreadedTitleService() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
        // Deleting the receiver also discards batches posted to it and not yet delivered.
        delete receiver_;
    }

    void setSink(Sink sink) override { sink_ = std::move(sink); }

    void request(std::vector<TitleRequest> requests) override {
        if (requests.empty()) return;
        {
            std::lock_guard lock(mutex_);
            for (TitleRequest& request : requests)
                queue_.push_back(std::move(request));
        }
        wake_.notify_all();
    }

    void cancelAll() override {
        std::lock_guard lock(mutex_);
        queue_.clear();
        ++generation_;
    }

  private:
    void work() {
        TitleReader reader;
        for (;;) {
            std::vector<TitleRequest> batch;
            std::uint64_t generation = 0;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                const std::size_t take = std::min(kBatchSize, queue_.size());
                batch.assign(std::make_move_iterator(queue_.begin()),
                             std::make_move_iterator(queue_.begin() + take));
                queue_.erase(queue_.begin(), queue_.begin() + take);
                generation = generation_;
            }
            if (!reader) reader = factory_();
            std::vector<TitleResult> results;
            results.reserve(batch.size());
            for (const TitleRequest& request : batch) {
                {
                    std::lock_guard lock(mutex_);
                    if (stopping_ || generation != generation_) break;
                }
                results.push_back({request.id, reader(request.path)});
            }
            post(generation, std::move(results));
        }
    }

    void post(std::uint64_t generation, std::vector<TitleResult> results) {
        if (results.empty()) return;
        QMetaObject::invokeMethod(
            receiver_,
            [this, generation, results = std::move(results)]() mutable {
                {
                    std::lock_guard lock(mutex_);
                    if (generation != generation_) return;
                }
                if (sink_) sink_(std::move(results));
            },
            Qt::QueuedConnection);
    }

    TitleReaderFactory factory_;
    QObject* receiver_;  // lives on the creating (UI) thread; batches are delivered through it
    Sink sink_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TitleRequest> queue_;
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace

int defaultTitleThreads() {
    return std::max(1, QThread::idealThreadCount() - 1);
}

std::unique_ptr<TitleService> makeThreadedTitleService(TitleReaderFactory factory, int threads) {
    return std::make_unique<ThreadedTitleService>(std::move(factory), threads);
}

}  // namespace kelvra::playlist
