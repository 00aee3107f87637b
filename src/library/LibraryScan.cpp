// What a scan reads and writes: the files the library knows, each file's facts stored (a moved
// file found again by its print keeps its row), and the files found gone.
#include <sqlite3.h>
#include <sys/stat.h>

#include <QDateTime>

#include "core/PathBytes.h"
#include "library/Database.h"
#include "library/Library.h"
#include "library/LibraryInternal.h"

namespace kelvra::library {
namespace {

bool pathExists(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

// A scan writes every new or changed file with these: kept compiled by the writer's cache.
// The scanned facts are bound by the same names in both; musical_key -1 is "not known".
constexpr const char* kUpdateSong =
    "UPDATE songs SET path = :path, size = :size, mtime = :mtime, fingerprint = :fingerprint,"
    " artist = :artist, title = :title, album = :album, genre = :genre, comment = :comment,"
    " seconds = :seconds, bpm = coalesce(:bpm, bpm),"
    " first_beat = coalesce(:firstBeat, first_beat), loudness = coalesce(:loudness, loudness),"
    " musical_key = CASE WHEN :key >= 0 THEN :key ELSE musical_key END,"
    " missing_since = NULL WHERE id = :id";
// A new file's row in one write: its texts reach the index once, not blank first.
constexpr const char* kInsertSong =
    "INSERT INTO songs (added, path, size, mtime, fingerprint, artist, title, album, genre,"
    " comment, seconds, bpm, first_beat, loudness, musical_key) VALUES (:added, :path, :size,"
    " :mtime, :fingerprint, :artist, :title, :album, :genre, :comment, :seconds, :bpm,"
    " :firstBeat, :loudness, max(:key, -1))";
constexpr const char* kSongByPath = "SELECT id FROM songs WHERE path = :path";
constexpr const char* kSongsByFingerprint =
    "SELECT id, path FROM songs WHERE fingerprint = :fingerprint AND id > :after"
    " ORDER BY id";

void bindFacts(Statement& statement, const QByteArray& path, const SongFacts& facts) {
    statement.bind(":path", path);
    statement.bind(":size", facts.size);
    statement.bind(":mtime", facts.mtime);
    statement.bind(":fingerprint", facts.fingerprint);
    statement.bindText(":artist", facts.artist);
    statement.bindText(":title", facts.title);
    statement.bindText(":album", facts.album);
    statement.bindText(":genre", facts.genre);
    statement.bindText(":comment", facts.comment);
    statement.bind(":seconds", facts.seconds);
    statement.bind(":bpm", facts.bpm);
    statement.bind(":firstBeat", facts.firstBeat);
    statement.bind(":loudness", facts.loudness);
    statement.bind(":key", std::int64_t(facts.key));
}

// Writes the scanned facts into row `id`, its path too (a moved file's new one).
bool updateSong(StatementCache& cache, std::int64_t id, const QByteArray& path,
                const SongFacts& facts) {
    Statement update(cache, kUpdateSong);
    update.bind(":id", id);
    bindFacts(update, path, facts);
    return update.step() == SQLITE_DONE;
}

bool storeFacts(StatementCache& cache, QHash<QByteArray, std::int64_t>& checked,
                const SongFacts& facts, Stored* outcome) {
    const QByteArray path = pathToBytes(facts.path);
    {
        Statement known(cache, kSongByPath);
        known.bind(":path", path);
        if (const int step = known.step(); step == SQLITE_ROW) {
            if (outcome) *outcome = Stored::Updated;
            return updateSong(cache, known.integer(0), path, facts);
        } else if (step != SQLITE_DONE) {
            return false;
        }
    }
    // A file the library knows under a path that is gone is the same file moved: it keeps its
    // row, and with it its cues, loops, crates and history. A copy (both paths there) is new.
    // Rows already found there in this scan are not looked at again: copies of one file (or
    // empty files, which all print alike) would otherwise make a scan quadratic in them.
    std::int64_t* seenUpTo = nullptr;
    if (!facts.fingerprint.isEmpty()) {
        seenUpTo = &checked[facts.fingerprint];
        Statement same(cache, kSongsByFingerprint);
        same.bind(":fingerprint", facts.fingerprint);
        same.bind(":after", *seenUpTo);
        int step;
        while ((step = same.step()) == SQLITE_ROW) {
            if (pathExists(same.blob(1))) {
                *seenUpTo = same.integer(0);
                continue;
            }
            if (outcome) *outcome = Stored::Moved;
            return updateSong(cache, same.integer(0), path, facts);
        }
        if (step != SQLITE_DONE) return false;
    }
    Statement insert(cache, kInsertSong);
    insert.bind(":added", std::int64_t(QDateTime::currentSecsSinceEpoch()));
    bindFacts(insert, path, facts);
    if (insert.step() != SQLITE_DONE) return false;
    if (seenUpTo) *seenUpTo = sqlite3_last_insert_rowid(cache.connection());
    if (outcome) *outcome = Stored::Added;
    return true;
}

}  // namespace

QHash<QByteArray, KnownFile> Library::knownFiles() const {
    QHash<QByteArray, KnownFile> files;
    Statement select(reader_,
                     "SELECT path, size, mtime, missing_since IS NOT NULL FROM songs"
                     " WHERE size IS NOT NULL");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        files.insert(select.blob(0),
                     KnownFile{select.integer(1), select.integer(2), select.integer(3) != 0});
    readFailure_ = stepFailure(reader_, step);
    return files;
}

QHash<QByteArray, KnownFile> Library::knownFiles(const QString& folder) const {
    QHash<QByteArray, KnownFile> files;
    // Paths below the folder sort between "folder/" and "folder0" ('0' follows '/'), so the
    // path index reads just them, however large the rest of the library is.
    QByteArray low = folderBytes(folder);
    if (!low.endsWith('/')) low += '/';
    QByteArray high = low;
    high.back() = '/' + 1;
    Statement select(reader_,
                     "SELECT path, size, mtime, missing_since IS NOT NULL FROM songs"
                     " WHERE path >= :low AND path < :high AND size IS NOT NULL");
    select.bind(":low", low);
    select.bind(":high", high);
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        files.insert(select.blob(0),
                     KnownFile{select.integer(1), select.integer(2), select.integer(3) != 0});
    readFailure_ = stepFailure(reader_, step);
    return files;
}

bool Library::store(SongFacts facts, Stored* outcome) {
    // The caches, not `this`: jobs still queued run while the writer is being destroyed.
    return writer_->submit([cache = &writer_->statements(), checked = checkedCopies_,
                            scan = scan_.load(), facts = std::move(facts), outcome](sqlite3*) {
        // The first store of a new scan forgets what the last one found.
        if (checked->scan != scan) {
            checked->upTo.clear();
            checked->scan = scan;
        }
        return storeFacts(*cache, checked->upTo, facts, outcome);
    });
}

void Library::forgetCheckedCopies() {
    ++scan_;
}

bool Library::markMissing(const std::vector<QString>& paths, std::int64_t when,
                          std::int64_t* marked) {
    std::vector<QByteArray> bytes;
    bytes.reserve(paths.size());
    for (const QString& path : paths)
        bytes.push_back(pathToBytes(path));
    return writer_->submit([bytes = std::move(bytes), when, marked](sqlite3* db) {
        Statement update(db,
                         "UPDATE songs SET missing_since = :when WHERE path = :path"
                         " AND missing_since IS NULL");
        for (const QByteArray& path : bytes) {
            update.reset();
            update.bind(":path", path);
            update.bind(":when", when);
            if (update.step() != SQLITE_DONE) return false;
            if (marked) *marked += sqlite3_changes(db);
        }
        return true;
    });
}

}  // namespace kelvra::library
