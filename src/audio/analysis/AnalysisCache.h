// Analysis results kept on disk, one file per song, so a song is analysed once. An entry belongs
// to a path (its bytes, whatever their encoding) with the size, modification and change times and
// file identity it had when analysed; a changed or replaced file misses. Entries are versioned
// and checksummed: a stale, corrupt or truncated entry is a miss. The folder is kept under a size
// limit by dropping the entries used least recently.
// Threads: any; copies share their size limit.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::analysis {

class AnalysisCache {
  public:
    // A 5-minute song's entry is about 180 KB: this keeps some five thousand songs.
    static constexpr std::int64_t kDefaultSizeLimit = 1ll << 30;

    explicit AnalysisCache(QString folder, std::int64_t sizeLimit = kDefaultSizeLimit);
    // $XDG_CACHE_HOME/kelvra/analysis (the platform's cache folder elsewhere).
    static QString defaultFolder();

    // The most the entries may take together, in bytes; applies from the next store on.
    void setSizeLimit(std::int64_t bytes) const;
    std::int64_t sizeLimit() const;

    AnalysisSnapshot load(const std::string& path) const;  // null on a miss
    // Written to a temporary file and renamed over the entry, which stays as it was when that
    // fails. False then, with which file and why in `error` when given.
    bool store(const std::string& path, const SongAnalysis& analysis,
               QString* error = nullptr) const;
    // The entry's file name for `path` (whether or not it exists).
    QString entryPath(const std::string& path) const;

  private:
    // Drops the least recently used entries until the folder fits the limit; `kept` stays.
    void prune(const QString& kept) const;

    QString folder_;
    std::shared_ptr<std::atomic<std::int64_t>> sizeLimit_;
};

// The analysis of `path` from the cache, or made now and stored there. Null when the file cannot
// be read or `stop` was requested.
AnalysisSnapshot analyseCached(const AnalysisCache& cache, const QString& path,
                               std::stop_token stop = {});

}  // namespace kelvra::audio::analysis
