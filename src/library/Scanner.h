// Adding folders of songs to the library: every song file below them (links to folders are not
// followed, so a loop of links cannot trap the walk) is read for its tags and fingerprint and
// handed to the library's writer. A file known by its path with the same size and modification
// time is skipped unread; a known file found under a new path keeps its row. Nothing is analysed
// here, but tempo, key and loudness come from the analysis cache when it already holds the file.
// Thread: one scan at a time, on any thread (it blocks until the writer has committed it).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace kelvra::audio {
class AudioLibrary;
}
namespace kelvra::audio::analysis {
class AnalysisCache;
}

namespace kelvra::library {

class Library;

struct ScanCounts {
    std::int64_t found = 0;       // song files below the folders
    std::int64_t unchanged = 0;   // known, same size and time: not read
    std::int64_t added = 0;       // new rows
    std::int64_t updated = 0;     // known rows read again
    std::int64_t moved = 0;       // known rows found under a new path
    std::int64_t unreadable = 0;  // could not be read at all
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

    const ScanCounts& counts() const { return counts_; }
    QString failure() const { return failure_; }
    // Folders and files that could not be read, with the reason.
    const QStringList& problems() const { return problems_; }

  private:
    Library& library_;
    audio::AudioLibrary& tags_;
    const audio::analysis::AnalysisCache* cache_;
    ScanCounts counts_;
    QString failure_;
    QStringList problems_;
};

}  // namespace kelvra::library
