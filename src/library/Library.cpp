// The library's opening, its plain reads (a song, crates, the history, the watched folders, the
// songs still to analyse) and the DJ's own writes. Searches live in LibrarySearch.cpp, what a
// scan reads and writes in LibraryScan.cpp.
#include "library/Library.h"

#include <sqlite3.h>

#include <QDir>

#include "core/PathBytes.h"
#include "library/Database.h"
#include "library/LibraryInternal.h"

namespace kelvra::library {

SongRow songOf(const Statement& row) {
    SongRow song;
    song.id = row.integer(0);
    song.path = pathFromBytes(row.blob(1));
    song.artist = row.text(2);
    song.title = row.text(3);
    song.album = row.text(4);
    song.genre = row.text(5);
    song.comment = row.text(6);
    song.seconds = row.real(7);
    song.bpm = row.optionalReal(8);
    song.firstBeat = row.optionalReal(9);
    song.loudness = row.optionalReal(10);
    song.key = int(row.integer(11));
    song.rating = int(row.integer(12));
    if (!row.isNull(13)) song.colour = row.integer(13);
    song.playCount = row.integer(14);
    if (!row.isNull(15)) song.lastPlayed = row.integer(15);
    if (!row.isNull(16)) song.missingSince = row.integer(16);
    return song;
}

QByteArray folderBytes(const QString& folder) {
    return pathToBytes(QDir::cleanPath(QDir(folder).absolutePath()));
}

Library::Library(const QString& path, Access access)
    : path_(path), checkedCopies_(std::make_shared<CheckedCopies>()) {
    reader_ = openDatabase(path, notice_, access);
    if (reader_) {
        sqlite3_create_function_v2(reader_, "matched", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                                   matchedFunction, nullptr, nullptr, nullptr);
        // Searches as the DJ types read the same pages again and again: mapped, they are read
        // where the system keeps them instead of copied in by a call each, and a larger cache
        // keeps the index's hot pages decoded.
        sqlite3_exec(reader_, "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-32768", nullptr,
                     nullptr, nullptr);
    }
    QString why;
    sqlite3* writing = reader_ ? openConnection(path, why) : nullptr;
    if (reader_ && !writing) notice_ = why;
    writer_ = std::make_unique<LibraryWriter>(writing);
}

Library::~Library() {
    writer_.reset();  // commits what is queued
    sqlite3_close(reader_);
}

std::optional<SongRow> Library::song(const QString& path) const {
    const QByteArray sql = QByteArray("SELECT ") + kSongColumns + " FROM songs WHERE path = :path";
    Statement select(reader_, sql.constData());
    select.bind(":path", pathToBytes(path));
    if (select.step() != SQLITE_ROW) return std::nullopt;
    return songOf(select);
}

std::int64_t Library::songCount() const {
    Statement count(reader_, "SELECT count(*) FROM songs");
    return count.step() == SQLITE_ROW ? count.integer(0) : 0;
}

std::vector<QString> Library::crates() const {
    std::vector<QString> names;
    Statement select(reader_, "SELECT name FROM crates ORDER BY name COLLATE NOCASE");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        names.push_back(select.text(0));
    readFailure_ = stepFailure(reader_, step);
    return names;
}

namespace {

// The paths in the first column of what `select` reads, in its order; `failure` says why it
// stopped early.
std::vector<QString> pathsRead(sqlite3* db, Statement& select, QString& failure) {
    std::vector<QString> paths;
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        paths.push_back(pathFromBytes(select.blob(0)));
    failure = stepFailure(db, step);
    return paths;
}

}  // namespace

std::vector<QString> Library::watchedFolders() const {
    Statement select(reader_, "SELECT path FROM watched_folders ORDER BY path");
    return pathsRead(reader_, select, readFailure_);
}

std::vector<QString> Library::songsToAnalyse() const {
    // The conditions of the index of songs to analyse, word for word, so it is the one read.
    Statement select(reader_,
                     "SELECT path FROM songs WHERE bpm IS NULL AND missing_since IS NULL"
                     " AND size IS NOT NULL AND analysis_failed IS NOT mtime ORDER BY id");
    return pathsRead(reader_, select, readFailure_);
}

std::vector<HeardSong> Library::history() const {
    std::vector<HeardSong> heard;
    Statement select(reader_,
                     "SELECT heard, path, artist, title, seconds FROM history"
                     " JOIN songs ON songs.id = history.song ORDER BY heard, history.id");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        heard.push_back({select.integer(0), pathFromBytes(select.blob(1)), select.text(2),
                         select.text(3), select.real(4)});
    readFailure_ = stepFailure(reader_, step);
    return heard;
}

std::vector<QString> Library::crate(const QString& name) const {
    Statement select(reader_,
                     "SELECT path FROM crate_songs JOIN crates ON crates.id = crate_songs.crate"
                     " JOIN songs ON songs.id = crate_songs.song WHERE crates.name = :crate"
                     " ORDER BY path");
    select.bindText(":crate", name);
    return pathsRead(reader_, select, readFailure_);
}

bool Library::addHeard(const QString& path, std::int64_t when) {
    return writer_->submit([path = pathToBytes(path), when](sqlite3* db) {
        Statement insert(
            db, "INSERT INTO history (song, heard) SELECT id, :when FROM songs WHERE path = :path");
        insert.bind(":path", path);
        insert.bind(":when", when);
        if (insert.step() != SQLITE_DONE) return false;
        Statement played(
            db,
            "UPDATE songs SET play_count = play_count + 1,"
            " last_played = max(coalesce(last_played, :when), :when) WHERE path = :path");
        played.bind(":path", path);
        played.bind(":when", when);
        return played.step() == SQLITE_DONE;
    });
}

bool Library::setRating(const QString& path, int stars) {
    if (stars < 0 || stars > 5) return false;
    return writer_->submit([path = pathToBytes(path), stars](sqlite3* db) {
        Statement update(db, "UPDATE songs SET rating = :stars WHERE path = :path");
        update.bind(":path", path);
        update.bind(":stars", std::int64_t(stars));
        return update.step() == SQLITE_DONE;
    });
}

bool Library::addToCrate(const QString& crate, const QString& path) {
    return writer_->submit([crate, path = pathToBytes(path)](sqlite3* db) {
        Statement make(db, "INSERT OR IGNORE INTO crates (name) VALUES (:crate)");
        make.bindText(":crate", crate);
        if (make.step() != SQLITE_DONE) return false;
        Statement add(db,
                      "INSERT OR IGNORE INTO crate_songs (crate, song) SELECT crates.id, songs.id"
                      " FROM crates, songs WHERE crates.name = :crate AND songs.path = :path");
        add.bindText(":crate", crate);
        add.bind(":path", path);
        return add.step() == SQLITE_DONE;
    });
}

bool Library::setAnalysis(const QString& path, std::optional<double> bpm,
                          std::optional<double> firstBeat, int key,
                          std::optional<double> loudness) {
    return writer_->submit([path = pathToBytes(path), bpm, firstBeat, key, loudness](sqlite3* db) {
        Statement update(
            db,
            "UPDATE songs SET bpm = :bpm, first_beat = :firstBeat, loudness = :loudness,"
            " musical_key = CASE WHEN :key BETWEEN 0 AND 23 THEN :key ELSE -1 END,"
            " analysis_failed = CASE WHEN :bpm IS NULL THEN mtime END WHERE path = :path");
        update.bind(":path", path);
        update.bind(":bpm", bpm);
        update.bind(":firstBeat", firstBeat);
        update.bind(":key", std::int64_t(key));
        update.bind(":loudness", loudness);
        return update.step() == SQLITE_DONE;
    });
}

bool Library::makeCrate(const QString& name) {
    return writer_->submit([name](sqlite3* db) {
        Statement make(db, "INSERT OR IGNORE INTO crates (name) VALUES (:name)");
        make.bindText(":name", name);
        return make.step() == SQLITE_DONE;
    });
}

bool Library::renameCrate(const QString& name, const QString& newName) {
    return writer_->submit([name, newName](sqlite3* db) {
        // A name already taken is refused by the unique name, and the crate keeps its own.
        Statement rename(db, "UPDATE OR IGNORE crates SET name = :newName WHERE name = :name");
        rename.bindText(":name", name);
        rename.bindText(":newName", newName);
        return rename.step() == SQLITE_DONE;
    });
}

bool Library::removeCrate(const QString& name) {
    return writer_->submit([name](sqlite3* db) {
        Statement remove(db, "DELETE FROM crates WHERE name = :name");
        remove.bindText(":name", name);
        return remove.step() == SQLITE_DONE;
    });
}

bool Library::removeFromCrate(const QString& crate, const QString& path) {
    return writer_->submit([crate, path = pathToBytes(path)](sqlite3* db) {
        Statement remove(
            db,
            "DELETE FROM crate_songs WHERE crate = (SELECT id FROM crates WHERE name = :crate)"
            " AND song = (SELECT id FROM songs WHERE path = :path)");
        remove.bindText(":crate", crate);
        remove.bind(":path", path);
        return remove.step() == SQLITE_DONE;
    });
}

bool Library::addWatchedFolder(const QString& folder) {
    return writer_->submit([path = folderBytes(folder)](sqlite3* db) {
        Statement insert(db, "INSERT OR IGNORE INTO watched_folders (path) VALUES (:path)");
        insert.bind(":path", path);
        return insert.step() == SQLITE_DONE;
    });
}

bool Library::removeWatchedFolder(const QString& folder) {
    return writer_->submit([path = folderBytes(folder)](sqlite3* db) {
        Statement remove(db, "DELETE FROM watched_folders WHERE path = :path");
        remove.bind(":path", path);
        return remove.step() == SQLITE_DONE;
    });
}

}  // namespace kelvra::library
