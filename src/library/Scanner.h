// Adding folders of songs to the library: every song file below them (links to folders are not
// followed, so a loop of links cannot trap the walk) is read for its tags and fingerprint and
// handed to the library's writer. A file known by its path with the same size and modification
// time is skipped unread; a known file found under a new path keeps its row. A known file below a
// folder that was walked to its end but is no longer there is marked missing, never deleted: it
// keeps its cues and history for the day it is put back or found moved. A known file the walk
// could not reach (its folder unreadable) is kept as it was, and its folder named a problem.
// Nothing is analysed here, but tempo, key and loudness come from the analysis cache when it
// already holds the file. Thread: one scan at a time, on any thread (it blocks until the writer has
// committed it).
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>

#include "library/Library.h"

namespace kelvra::audio {
class AudioLibrary;
}
namespace kelvra::audio::analysis {
class AnalysisCache;
}

namespace kelvra::library {

struct ScanCounts {
    std::int64_t found = 0;       // song files below the folders
    std::int64_t unchanged = 0;   // known, same size and time: not read
    std::int64_t added = 0;       // new rows
    std::int64_t updated = 0;     // known rows read again
    std::int64_t moved = 0;       // known rows found under a new path
    std::int64_t unreadable = 0;  // could not be read at all
    std::int64_t missing = 0;     // known rows whose files were found gone
    std::int64_t unreached = 0;   // known rows in folders that could not be read: kept
    std::int64_t waiting = 0;     // new or changed files left for a later look
    std::int64_t stored = 0;      // rows committed so far (added, updated and moved, once done)
};

class Scanner {
  public:
    // `cache` may be null (no analysis results to take).
    Scanner(Library& library, audio::AudioLibrary& tags,
            const audio::analysis::AnalysisCache* cache);

    // Called now and then during the scan and once at its end, on the scanning thread.
    using Progress = std::function<void(const ScanCounts&)>;
    // False when the writer stopped (the disk full...): failure() says why; what was committed
    // before stays. A folder that cannot be read is a problem, not a failure.
    bool scan(const QStringList& folders, const Progress& progress = {});

    // Asked of each new or changed file before it is read, with its path and what it is now:
    // false leaves it for a later look (a file still being copied in is read once complete).
    // Unset: every file is read at once.
    using ReadyCheck = std::function<bool(const QString& path, const KnownFile& now)>;
    void setReadyCheck(ReadyCheck ready) { ready_ = std::move(ready); }
    // Whether the next scans list the folders and song files they walk (see walked()).
    void setListing(bool listing) { listing_ = listing; }
    struct Walk {
        QStringList folders;  // the folders scanned and every folder below them
        QStringList files;    // the song files in them
        QStringList waiting;  // the files the ready check left for later
    };
    const Walk& walked() const { return walk_; }
    // Set from another thread, `stop` cuts the running scan short (nothing is marked missing
    // then): a program closing does not wait for a whole tree.
    void setStop(const std::atomic<bool>* stop) { stop_ = stop; }

    const ScanCounts& counts() const { return counts_; }
    QString failure() const { return failure_; }
    // Folders and files that could not be read, with the reason.
    const QStringList& problems() const { return problems_; }

  private:
    Library& library_;
    audio::AudioLibrary& tags_;
    const audio::analysis::AnalysisCache* cache_;
    ReadyCheck ready_;
    bool listing_ = false;
    const std::atomic<bool>* stop_ = nullptr;
    Walk walk_;
    ScanCounts counts_;
    QString failure_;
    QStringList problems_;
};

}  // namespace kelvra::library
