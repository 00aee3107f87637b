// Analysis results kept on disk, one file per song, so a song is analysed once. An entry belongs
// to a path with the size and modification time it had when analysed; a changed file misses.
// Entries are versioned and checksummed: a stale, corrupt or truncated entry is a miss.
#pragma once

#include <QString>
#include <string>

#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::analysis {

class AnalysisCache {
  public:
    explicit AnalysisCache(QString folder);
    // $XDG_CACHE_HOME/kelvra/analysis (the platform's cache folder elsewhere).
    static QString defaultFolder();

    AnalysisSnapshot load(const std::string& path) const;  // null on a miss
    // Written to a temporary file and renamed over the entry. False when it could not be.
    bool store(const std::string& path, const SongAnalysis& analysis) const;
    // The entry's file name for `path` (whether or not it exists).
    QString entryPath(const std::string& path) const;

  private:
    QString folder_;
};

// The analysis of `path` from the cache, or made now and stored there. Null when the file cannot
// be read or `stop` was requested.
AnalysisSnapshot analyseCached(const AnalysisCache& cache, const QString& path,
                               std::stop_token stop = {});

}  // namespace kelvra::audio::analysis
