#include "audio/analysis/BackgroundAnalyser.h"

#include <QThread>

namespace kelvra::audio::analysis {

BackgroundAnalyser::BackgroundAnalyser(AnalysisCache cache, QObject* parent)
    : QObject(parent), cache_(std::move(cache)) {
    thread_ = QThread::create([this] { work(); });
    // Idle priority (SCHED_IDLE on Linux): the worker only runs when nothing else wants the CPU.
    thread_->start(QThread::IdlePriority);
}

BackgroundAnalyser::~BackgroundAnalyser() {
    {
        std::lock_guard lock(mutex_);
        shuttingDown_ = true;
        for (Job& job : jobs_)
            job.running.request_stop();
        warmStop_.request_stop();
    }
    wake_.notify_all();
    thread_->wait();
    delete thread_;
}

void BackgroundAnalyser::requestAnalysis(Side side, const QString& path) {
    {
        std::lock_guard lock(mutex_);
        Job& job = jobs_[sideIndex(side)];
        ++job.generation;
        job.pending = path;
        job.running.request_stop();
        warmStop_.request_stop();  // a deck never waits for the playlist's songs
    }
    wake_.notify_all();
}

void BackgroundAnalyser::warmCache(const QStringList& paths) {
    if (paths.isEmpty()) return;
    {
        std::lock_guard lock(mutex_);
        warming_.insert(warming_.end(), paths.begin(), paths.end());
        // The playlist's songs are wanted sooner than the library's.
        if (analysingIdle_) warmStop_.request_stop();
    }
    wake_.notify_all();
}

void BackgroundAnalyser::analyseWhenIdle(const QStringList& paths) {
    if (paths.isEmpty()) return;
    {
        std::lock_guard lock(mutex_);
        idle_.insert(idle_.end(), paths.begin(), paths.end());
    }
    wake_.notify_all();
}

int BackgroundAnalyser::idleCount() const {
    std::lock_guard lock(mutex_);
    return int(idle_.size());
}

int BackgroundAnalyser::warmingCount() const {
    std::lock_guard lock(mutex_);
    return int(warming_.size());
}

void BackgroundAnalyser::cancel(Side side) {
    std::lock_guard lock(mutex_);
    Job& job = jobs_[sideIndex(side)];
    ++job.generation;
    job.pending.reset();
    job.running.request_stop();
}

void BackgroundAnalyser::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return shuttingDown_ || deckWaiting() || !warming_.empty() || !idle_.empty();
        });
        if (shuttingDown_) return;
        if (!deckWaiting()) {
            analysingIdle_ = warming_.empty();
            std::deque<QString>& queue = analysingIdle_ ? idle_ : warming_;
            const bool idle = analysingIdle_;
            warmStop_ = std::stop_source();
            const std::stop_token stop = warmStop_.get_token();
            const QString path = queue.front();
            lock.unlock();
            // A song the cache already holds costs a file read; one that fails is not retried.
            AnalysisSnapshot result = analyseCached(cache_, path, stop);
            if (!stop.stop_requested() && (result || idle))
                QMetaObject::invokeMethod(
                    this,
                    [this, path, result, idle] {
                        if (idle)
                            emit idleAnalysed(path, result);
                        else
                            emit warmed(path, result);
                    },
                    Qt::QueuedConnection);
            lock.lock();
            analysingIdle_ = false;
            // Interrupted: it stays at the front and is taken up again.
            if (!stop.stop_requested() && !queue.empty()) queue.pop_front();
            continue;
        }
        // Take turns between the decks so one deck's reloads cannot starve the other.
        int side = nextSide_;
        if (!jobs_[side].pending) side = 1 - side;
        nextSide_ = 1 - side;
        Job& job = jobs_[side];
        const QString path = *job.pending;
        job.pending.reset();
        job.running = std::stop_source();
        const std::stop_token stop = job.running.get_token();
        const unsigned generation = job.generation;
        lock.unlock();

        AnalysisSnapshot result = analyseCached(cache_, path, stop);
        if (!stop.stop_requested()) deliver(Side(side), generation, path, std::move(result));
        lock.lock();
    }
}

void BackgroundAnalyser::deliver(Side side, unsigned generation, const QString& path,
                                 AnalysisSnapshot result) {
    // Queued to the owner's thread; dropped there when a newer request came in meanwhile, and
    // dropped by Qt when the analyser is gone.
    QMetaObject::invokeMethod(
        this,
        [this, side, generation, path, result = std::move(result)] {
            {
                std::lock_guard lock(mutex_);
                if (jobs_[sideIndex(side)].generation != generation) return;
            }
            emit analysed(side, path, result);
        },
        Qt::QueuedConnection);
}

}  // namespace kelvra::audio::analysis
