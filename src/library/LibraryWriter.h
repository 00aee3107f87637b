// The one way into the library database for writes: jobs are queued by any thread and run by a
// single writer thread on its own connection, many to a transaction, so a scan of thousands of
// files costs a few hundred commits and readers never wait on a half-done batch. A job that
// fails for the database's sake (the disk full, an I/O error) rolls its batch back and stops the
// writer: what was committed before stays, nothing after is attempted. What the DJ does by hand
// (a hot cue set) goes ahead of a scan's queue and never waits for room in it.
// Threads: every public call from any thread; the jobs run on the writer's thread.
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct sqlite3;

namespace kelvra::library {

class StatementCache;

class LibraryWriter {
  public:
    // A job writes through the writer's connection and returns false when a write failed.
    using Job = std::function<bool(sqlite3*)>;
    // Called on the writer thread after each commit with the number of jobs committed so far.
    using CommitListener = std::function<void(std::int64_t committed)>;
    // Called on the writer thread once the job's batch is committed (never when it failed).
    using Landed = std::function<void()>;
    // Queued: behind what is queued, waiting for room when the queue is full (a scan's files).
    // Now: ahead of every queued job and never waiting, for the DJ's own changes, which are few.
    enum class Urgency { Queued, Now };

    // Takes `connection` (opened with openConnection()) and closes it when done.
    explicit LibraryWriter(sqlite3* connection);
    // Commits what is queued, then stops.
    ~LibraryWriter();
    LibraryWriter(const LibraryWriter&) = delete;
    LibraryWriter& operator=(const LibraryWriter&) = delete;

    // Queues `job`; a Queued one waits while the queue is full so a fast producer cannot grow it
    // without end. Refused (false) once the writer has failed. `landed` follows its commit.
    bool submit(Job job, Urgency urgency = Urgency::Queued, Landed landed = {});
    // Waits until every job submitted before the call is committed or the writer failed. True
    // when all of them were committed.
    bool flush();

    std::int64_t committed() const { return committed_.load(); }
    bool failed() const { return failed_.load(); }
    // Why the writer stopped; empty while it works.
    QString failure() const;

    // The writer connection's kept statements: for jobs, on the writer's thread only.
    StatementCache& statements() { return *statements_; }

    // Set before the first submit.
    void setCommitListener(CommitListener listener) { listener_ = std::move(listener); }

    // Jobs per transaction at most: large enough to make commits rare, small enough that a
    // reader sees a scan's progress and a kill loses at most one batch of uncommitted work.
    static constexpr std::size_t kBatch = 256;
    static constexpr std::size_t kQueueLimit = 4096;

  private:
    struct Entry {
        Job job;
        Landed landed;
    };
    void run();
    bool commitBatch(std::deque<Entry>& batch);

    sqlite3* db_;
    std::unique_ptr<StatementCache> statements_;  // finalised before db_ is closed
    CommitListener listener_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;  // the writer: jobs came, or it is time to stop
    std::condition_variable done_;  // producers: room in the queue, or a batch ended
    std::deque<Entry> queue_;
    std::deque<Entry> urgent_;    // run first; never counted against kQueueLimit
    std::int64_t submitted_ = 0;  // under mutex_
    std::int64_t finished_ = 0;   // jobs committed or dropped, under mutex_
    bool stopping_ = false;
    std::atomic<std::int64_t> committed_{0};
    std::atomic<bool> failed_{false};
    QString failure_;  // under mutex_
    std::thread thread_;
};

}  // namespace kelvra::library
