#include "library/LibraryWriter.h"

#include <sqlite3.h>

#include "library/Database.h"

namespace kelvra::library {

LibraryWriter::LibraryWriter(sqlite3* connection)
    : db_(connection), statements_(std::make_unique<StatementCache>(connection)) {
    if (!db_) {
        failed_ = true;
        failure_ = QStringLiteral("the library database is not open");
    }
    thread_ = std::thread([this] { run(); });
}

LibraryWriter::~LibraryWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    statements_.reset();
    sqlite3_close(db_);
}

bool LibraryWriter::submit(Job job, Urgency urgency, Landed landed) {
    std::unique_lock lock(mutex_);
    if (urgency == Urgency::Queued)
        done_.wait(lock, [this] { return queue_.size() < kQueueLimit || failed_; });
    if (failed_) return false;
    (urgency == Urgency::Now ? urgent_ : queue_).push_back({std::move(job), std::move(landed)});
    ++submitted_;
    lock.unlock();
    wake_.notify_one();
    return true;
}

bool LibraryWriter::flush() {
    std::unique_lock lock(mutex_);
    const std::int64_t target = submitted_;
    done_.wait(lock, [&] { return finished_ >= target || failed_; });
    return !failed_;
}

QString LibraryWriter::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void LibraryWriter::run() {
    for (;;) {
        std::deque<Entry> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !queue_.empty() || !urgent_.empty() || stopping_; });
            if (queue_.empty() && urgent_.empty()) return;
            while (!urgent_.empty()) {
                batch.push_back(std::move(urgent_.front()));
                urgent_.pop_front();
            }
            while (!queue_.empty() && batch.size() < kBatch) {
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
        }
        done_.notify_all();  // room in the queue
        const std::size_t count = batch.size();
        const bool ok = !failed_ && commitBatch(batch);
        {
            std::lock_guard lock(mutex_);
            if (ok) committed_ += std::int64_t(count);
            finished_ += std::int64_t(count);
            if (!ok) {
                // Nothing more will be written: what waits is dropped, and so is what comes.
                if (!failed_ && failure_.isEmpty()) failure_ = errorText(db_);
                failed_ = true;
                finished_ += std::int64_t(queue_.size() + urgent_.size());
                queue_.clear();
                urgent_.clear();
            }
        }
        if (ok)
            for (const Entry& entry : batch)
                if (entry.landed) entry.landed();
        if (ok && listener_) listener_(committed_.load());
        done_.notify_all();
    }
}

bool LibraryWriter::commitBatch(std::deque<Entry>& batch) {
    if (!execute(db_, "BEGIN IMMEDIATE")) return false;
    for (Entry& entry : batch) {
        if (!entry.job(db_)) {
            // The error is read before the rollback replaces it.
            const QString why = errorText(db_);
            execute(db_, "ROLLBACK");
            std::lock_guard lock(mutex_);
            failure_ = why;
            return false;
        }
    }
    if (execute(db_, "COMMIT")) return true;
    const QString why = errorText(db_);
    execute(db_, "ROLLBACK");
    std::lock_guard lock(mutex_);
    failure_ = why;
    return false;
}

}  // namespace kelvra::library
