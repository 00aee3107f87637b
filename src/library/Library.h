// The DJ's music library: every song file Kelvra has found, with its tags, what the analysis
// learnt, ratings and plays, crates, and the history of the sets it was heard in. One SQLite file
// shared with SongStore (hot cues and loops hang off the same song rows). Reads run on the
// caller's connection; every write goes through the library's single writer thread.
// Thread: the thread that made it for the reads, and one scan's thread besides (the connection
// serialises them); the write calls from any thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "library/Database.h"
#include "library/LibraryWriter.h"

struct sqlite3;

namespace kelvra::library {

struct SearchQuery;

// What a scan learns of one file.
struct SongFacts {
    QString path;
    std::int64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    QByteArray fingerprint;
    QString artist, title, album, genre, comment;
    double seconds = 0;
    std::optional<double> bpm, firstBeat, loudness;
    int key = -1;
};

// A song as the library holds it.
struct SongRow {
    std::int64_t id = 0;
    QString path;
    QString artist, title, album, genre, comment;
    double seconds = 0;
    std::optional<double> bpm, firstBeat, loudness;
    int key = -1;
    int rating = 0;
    std::optional<std::int64_t> colour;
    std::int64_t playCount = 0;
    std::optional<std::int64_t> lastPlayed;
    // When the file was found gone, in seconds since the epoch; unset while it is there.
    std::optional<std::int64_t> missingSince;
};

// One time a song was heard, with what a set list shows of it.
struct HeardSong {
    std::int64_t heard = 0;  // seconds since the epoch
    QString path, artist, title;
    double seconds = 0;
};

// The size and modification time a known file had when it was last read.
struct KnownFile {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    bool missing = false;  // found gone by an earlier scan
};

// What a song list can be ordered by, in the library window's column order.
enum class SongColumn {
    Artist,
    Title,
    Album,
    Genre,
    Bpm,
    Key,
    Length,
    Rating,
    Plays,
    LastPlayed,
    Comment,
    Path,
    Count
};

// Which songs a search lists, and in what order, beyond the words typed.
struct SongListing {
    SongColumn sortBy = SongColumn::Artist;
    bool descending = false;
    QString crate;  // only this crate's songs, when named
    // Only songs that mix with a playing one: a tempo range and the keys that fit (empty: any).
    std::optional<double> bpmLow, bpmHigh;
    std::vector<int> keys;
    // Songs not listed: the playing ones, which mix with themselves.
    std::vector<QString> leaveOut;
    // The page: `limit` songs from the `offset`th on. The window lists a first page and more
    // as the DJ scrolls.
    int limit = 200;
    int offset = 0;
};

// How storing a scanned file went, for the scan's counts.
enum class Stored { Added, Updated, Moved };

class Library {
  public:
    // Opens (or makes) the database at `path`, bringing an older one up to date (see Database.h).
    // Only a library opened for writing may set a damaged database aside.
    explicit Library(const QString& path, Access access = Access::Writing);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool isOpen() const { return reader_ != nullptr && writer_ && !writer_->failed(); }
    // Why the library is closed, or what happened to a file that was not ours; empty otherwise.
    QString notice() const { return notice_; }
    LibraryWriter& writer() { return *writer_; }
    QString path() const { return path_; }
    // Why the last read stopped before its end (the database damaged, held too long by another
    // program); empty when it read everything. Its rows so far were returned.
    QString readFailure() const { return readFailure_; }

    // Reads. They see what the writer has committed.
    QHash<QByteArray, KnownFile> knownFiles() const;  // by the path's bytes
    // Only the files below `folder` (an absolute path), at any depth.
    QHash<QByteArray, KnownFile> knownFiles(const QString& folder) const;
    std::optional<SongRow> song(const QString& path) const;
    std::int64_t songCount() const;
    std::vector<SongRow> search(const SearchQuery& query, int limit = 1000) const;
    std::vector<SongRow> search(const SearchQuery& query, const SongListing& listing) const;
    // Every heard song, oldest first.
    std::vector<HeardSong> history() const;
    std::vector<QString> crate(const QString& name) const;  // its songs' paths, by path
    std::vector<QString> crates() const;                    // their names, by name
    // The folders kept up to date while the program runs, by path.
    std::vector<QString> watchedFolders() const;
    // The scanned songs with no tempo yet, in the order they came in, but for those the analysis
    // already found without one (as their files are now).
    std::vector<QString> songsToAnalyse() const;

    // Writes, queued to the writer. `outcome`, when given, is set on the writer thread when the
    // job runs (read it after writer().flush()).
    bool store(SongFacts facts, Stored* outcome = nullptr);
    // A scan begins or ends: the rows store() found still at their paths are looked at again
    // from now on (within a scan, each row is checked once, however many copies share its print).
    // Any thread.
    void forgetCheckedCopies();
    // A song was heard at `when`: a history row, its play count and last play.
    bool addHeard(const QString& path, std::int64_t when);
    bool setRating(const QString& path, int stars);  // 0..5
    // What the analysis found of a song the library has (nothing happens for one it has not).
    // No tempo marks the file, as it is now, as one the library's analysis need not try again.
    bool setAnalysis(const QString& path, std::optional<double> bpm,
                     std::optional<double> firstBeat, int key, std::optional<double> loudness);
    bool addToCrate(const QString& crate, const QString& path);  // makes the crate if need be
    bool makeCrate(const QString& name);
    bool renameCrate(const QString& name, const QString& newName);
    bool removeCrate(const QString& name);  // the songs stay in the library
    bool removeFromCrate(const QString& crate, const QString& path);
    // The files at `paths` were found gone at `when` (seconds since the epoch): their rows stay,
    // with their cues, loops, crates and history, but searches no longer list them. A row
    // already missing keeps the time it was first found gone; storing the file again (put back,
    // or found moved) lists it again. `marked`, when given, is set to the rows newly marked.
    bool markMissing(const std::vector<QString>& paths, std::int64_t when,
                     std::int64_t* marked = nullptr);
    // Folders are kept as absolute, clean paths, so one folder is one row however it was named.
    bool addWatchedFolder(const QString& folder);
    bool removeWatchedFolder(const QString& folder);  // its songs stay in the library

  private:
    QString path_;
    QString notice_;
    mutable QString readFailure_;
    sqlite3* reader_ = nullptr;
    std::unique_ptr<LibraryWriter> writer_;
    // What store() learnt of copies during a scan; only the writer's jobs touch it. A job knows
    // its scan by the number it was submitted under.
    struct CheckedCopies;
    std::shared_ptr<CheckedCopies> checkedCopies_;
    std::atomic<std::uint64_t> scan_{0};
};

}  // namespace kelvra::library
