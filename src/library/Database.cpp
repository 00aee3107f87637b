#include "library/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <iterator>

#include "core/PathBytes.h"
#include "library/TextInitials.h"

namespace kelvra::library {
namespace {

// Marks the file as Kelvra's, so a database of another program is never taken for ours.
constexpr int kApplicationId = 0x4B4C5652;  // "KLVR"

// Each step takes the schema from the version before it to its own; a database is brought up
// to date by running the steps it has not had, each in one transaction.
constexpr const char* kMigrations[] = {
    // 1: songs by path, their hot cues.
    "CREATE TABLE songs (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
    " added INTEGER NOT NULL);"
    "CREATE TABLE hot_cues (song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,"
    " slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 7), position INTEGER NOT NULL,"
    " PRIMARY KEY (song, slot)) WITHOUT ROWID;",
    // 2: each song's saved loop.
    "CREATE TABLE loops (song INTEGER PRIMARY KEY REFERENCES songs(id) ON DELETE CASCADE,"
    " loop_in INTEGER NOT NULL CHECK (loop_in >= 0),"
    " loop_out INTEGER NOT NULL CHECK (loop_out > loop_in));",
    // 3: the library. A song row learns its file (size and modification time tell an unchanged
    // file without reading it; the fingerprint finds it again after a move), its tags and what
    // the analysis found. Rows that existed before keep their ids, so cues and loops stay theirs;
    // their new columns are empty until the next scan fills them.
    //
    // The text index is an external-content FTS5 table over the songs' own columns: the text is
    // stored once, in songs, and the index holds only tokens, kept in step by the triggers below
    // (which have the old values a delete needs). A contentless index would save nothing more
    // and could not be rebuilt from the rows. unicode61 with diacritics removed folds case and
    // accents alike on both sides of a match; the prefix indexes make the first letters typed
    // into a search as cheap as whole words.
    "ALTER TABLE songs ADD COLUMN size INTEGER;"
    "ALTER TABLE songs ADD COLUMN mtime INTEGER;"
    "ALTER TABLE songs ADD COLUMN fingerprint BLOB;"
    "ALTER TABLE songs ADD COLUMN artist TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN title TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN album TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN genre TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN comment TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN seconds REAL NOT NULL DEFAULT 0;"
    "ALTER TABLE songs ADD COLUMN bpm REAL;"
    "ALTER TABLE songs ADD COLUMN first_beat REAL;"
    "ALTER TABLE songs ADD COLUMN musical_key INTEGER NOT NULL DEFAULT -1"
    " CHECK (musical_key BETWEEN -1 AND 23);"
    "ALTER TABLE songs ADD COLUMN loudness REAL;"
    "ALTER TABLE songs ADD COLUMN rating INTEGER NOT NULL DEFAULT 0 CHECK (rating BETWEEN 0 AND 5);"
    "ALTER TABLE songs ADD COLUMN colour INTEGER;"
    "ALTER TABLE songs ADD COLUMN play_count INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE songs ADD COLUMN last_played INTEGER;"
    "CREATE INDEX songs_by_fingerprint ON songs(fingerprint);"
    "CREATE INDEX songs_by_bpm ON songs(bpm);"
    "CREATE VIRTUAL TABLE song_text USING fts5(artist, title, album, genre, comment,"
    " content='songs', content_rowid='id', tokenize='unicode61 remove_diacritics 2',"
    " prefix='1 2 3');"
    "CREATE TRIGGER song_text_insert AFTER INSERT ON songs BEGIN"
    " INSERT INTO song_text (rowid, artist, title, album, genre, comment)"
    " VALUES (new.id, new.artist, new.title, new.album, new.genre, new.comment); END;"
    "CREATE TRIGGER song_text_delete AFTER DELETE ON songs BEGIN"
    " INSERT INTO song_text (song_text, rowid, artist, title, album, genre, comment)"
    " VALUES ('delete', old.id, old.artist, old.title, old.album, old.genre, old.comment); END;"
    // A rescan rewrites the texts of every changed file; unchanged texts leave the index alone.
    "CREATE TRIGGER song_text_update AFTER UPDATE OF artist, title, album, genre, comment ON songs"
    " WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
    " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
    " OR old.comment IS NOT new.comment BEGIN"
    " INSERT INTO song_text (song_text, rowid, artist, title, album, genre, comment)"
    " VALUES ('delete', old.id, old.artist, old.title, old.album, old.genre, old.comment);"
    " INSERT INTO song_text (rowid, artist, title, album, genre, comment)"
    " VALUES (new.id, new.artist, new.title, new.album, new.genre, new.comment); END;"
    "INSERT INTO song_text (song_text) VALUES ('rebuild');"
    "CREATE TABLE crates (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE crate_songs (crate INTEGER NOT NULL REFERENCES crates(id) ON DELETE CASCADE,"
    " song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,"
    " PRIMARY KEY (crate, song)) WITHOUT ROWID;"
    "CREATE INDEX crate_songs_by_song ON crate_songs(song);"
    // Each time a song was heard in a set, in seconds since the epoch.
    "CREATE TABLE history (id INTEGER PRIMARY KEY,"
    " song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE, heard INTEGER NOT NULL);"
    "CREATE INDEX history_by_time ON history(heard);"
    "CREATE INDEX history_by_song ON history(song);",
    // 4: songs in the order the library lists them, so a search that matches most of them reads
    // its first page in order instead of sorting every match; and the time a song's file was
    // found gone (NULL while it is there), so a file that went away keeps its row, cues and
    // history until it turns up again, moved or put back.
    ("CREATE INDEX songs_by_name ON songs(artist COLLATE NOCASE, title COLLATE NOCASE, path);"
     "ALTER TABLE songs ADD COLUMN missing_since INTEGER;"),
    // 5: the folders the library keeps up to date while the program runs, by their paths' bytes
    // like the songs.
    "CREATE TABLE watched_folders (path BLOB PRIMARY KEY) WITHOUT ROWID;",
    // 6: the first letters of each song's words (TextInitials.h), kept by triggers like the text
    // index, so a search for one letter lists its page in order without reading the index; and
    // the orders a search walks hold only the songs it lists (those not missing) and their
    // initials, so a walk tests the matched ids or the letter in the index alone, reading no
    // song it passes over. The titles get an order of their own, for a list sorted by title, and
    // the keys one for the compatible filter.
    ("ALTER TABLE songs ADD COLUMN initials INTEGER NOT NULL DEFAULT 0;"
     "UPDATE songs SET initials = text_initials(artist, title, album, genre, comment);"
     "DROP INDEX songs_by_name;"
     "CREATE INDEX songs_by_name ON songs(artist COLLATE NOCASE, title COLLATE NOCASE, path,"
     " initials) WHERE missing_since IS NULL;"
     "DROP INDEX songs_by_bpm;"
     "CREATE INDEX songs_by_bpm ON songs(bpm, initials) WHERE missing_since IS NULL;"
     "CREATE INDEX songs_by_title ON songs(title COLLATE NOCASE, artist COLLATE NOCASE, path,"
     " initials) WHERE missing_since IS NULL;"
     "CREATE INDEX songs_by_key ON songs(musical_key) WHERE missing_since IS NULL;"
     // A row made bare (a cue set on a song not yet scanned) gets its texts later: only texts
     // written are read.
     "CREATE TRIGGER song_initials_insert AFTER INSERT ON songs"
     " WHEN new.artist <> '' OR new.title <> '' OR new.album <> '' OR new.genre <> ''"
     " OR new.comment <> '' BEGIN"
     " UPDATE songs SET initials = text_initials(new.artist, new.title, new.album, new.genre,"
     " new.comment) WHERE id = new.id; END;"
     "CREATE TRIGGER song_initials_update AFTER UPDATE OF artist, title, album, genre, comment"
     " ON songs WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
     " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
     " OR old.comment IS NOT new.comment BEGIN"
     " UPDATE songs SET initials = text_initials(new.artist, new.title, new.album, new.genre,"
     " new.comment) WHERE id = new.id; END;"),
};
static_assert(std::size(kMigrations) == kSchemaVersion);

int firstInteger(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    return statement.step() == SQLITE_ROW ? int(statement.integer(0)) : -1;
}

}  // namespace

bool migrateTo(sqlite3* db, int target) {
    const int version = firstInteger(db, "PRAGMA user_version");
    if (version < 0 || target > kSchemaVersion || !addTextInitials(db)) return false;
    for (int step = version; step < target; ++step) {
        const QByteArray sql = QByteArray("BEGIN IMMEDIATE;") + kMigrations[step] +
                               QByteArray("PRAGMA application_id=") +
                               QByteArray::number(kApplicationId) +
                               ";PRAGMA user_version=" + QByteArray::number(step + 1) + ";COMMIT;";
        if (!execute(db, sql.constData())) {
            execute(db, "ROLLBACK");
            return false;
        }
    }
    return true;
}

namespace {

// Opens `path` as a database of ours, migrating it when `migrating`. Null with `why` otherwise.
sqlite3* tryOpen(const QString& path, bool migrating, QString& why) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        pathToBytes(path).constData(), &db,
        SQLITE_OPEN_READWRITE | (migrating ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    const auto fail = [&](const QString& reason) -> sqlite3* {
        why = reason;
        sqlite3_close(db);
        return nullptr;
    };
    if (opened != SQLITE_OK) return fail(errorText(db));
    // The writer and the readers wait for each other's short transactions instead of failing.
    sqlite3_busy_timeout(db, 5000);
    // Reading the schema is the first touch of the file: a file that is no database fails here.
    const int tables = firstInteger(db, "SELECT count(*) FROM sqlite_master");
    if (tables < 0) return fail(errorText(db));
    if (tables > 0 && firstInteger(db, "PRAGMA application_id") != kApplicationId)
        return fail(QStringLiteral("not a Kelvra database"));
    const int version = firstInteger(db, "PRAGMA user_version");
    if (version > kSchemaVersion) return fail(QStringLiteral("made by a newer Kelvra"));
    if (!migrating && version != kSchemaVersion)
        return fail(QStringLiteral("the database is not up to date"));
    if (!execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"))
        return fail(errorText(db));
    if (!addTextInitials(db)) return fail(QStringLiteral("this SQLite has no full-text search"));
    if (migrating && !migrateTo(db, kSchemaVersion)) return fail(errorText(db));
    return db;
}

}  // namespace

sqlite3* openDatabase(const QString& path, QString& notice) {
    notice.clear();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString why;
    if (sqlite3* db = tryOpen(path, true, why)) return db;
    // Not a database, or not ours, or of a newer Kelvra: keep it under another name and start
    // afresh, so nothing the DJ had is lost and the program still remembers from now on.
    notice = why;
    const QString aside =
        path + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    if (!QFile::exists(path) || !QFile::rename(path, aside)) return nullptr;
    // The journal files belong to the file set aside: they go with it, never away.
    QFile::rename(path + "-wal", aside + "-wal");
    QFile::rename(path + "-shm", aside + "-shm");
    sqlite3* db = tryOpen(path, true, why);
    if (db)
        notice = QStringLiteral(
                     "The song database could not be read (%1); it was kept as \"%2\" and a new "
                     "one was started.")
                     .arg(notice, QFileInfo(aside).fileName());
    return db;
}

sqlite3* openConnection(const QString& path, QString& why) {
    return tryOpen(path, false, why);
}

QString errorText(sqlite3* db) {
    if (!db) return QStringLiteral("out of memory");
    // A write refused for want of room shows as SQLITE_FULL, or as an I/O error whose cause is
    // no space, the quota or the file size limit: to the DJ all of them are a full disk.
    const int error = sqlite3_system_errno(db);
    if ((sqlite3_errcode(db) & 0xff) == SQLITE_FULL || error == ENOSPC || error == EDQUOT ||
        error == EFBIG)
        return QStringLiteral("the disk is full");
    // SQLite does not always keep the cause of a failed write (a write cut short by the file
    // size limit comes back without it); a full disk is then the likeliest one.
    if (sqlite3_extended_errcode(db) == SQLITE_IOERR_WRITE)
        return QStringLiteral("the disk could not be written (is it full?)");
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool execute(sqlite3* db, const char* sql) {
    return db && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement::Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

Statement::Statement(StatementCache& cache, const char* sql)
    : statement_(cache.borrow(sql)), cache_(&cache) {}

Statement::~Statement() {
    if (cache_)
        cache_->giveBack(statement_);
    else
        sqlite3_finalize(statement_);
}

StatementCache::~StatementCache() {
    for (const Entry& entry : entries_)
        sqlite3_finalize(entry.statement);
}

sqlite3_stmt* StatementCache::borrow(const char* sql) {
    if (!db_) return nullptr;
    for (Entry& entry : entries_) {
        if (entry.sql != sql || entry.lent) continue;
        entry.lent = true;
        return entry.statement;
    }
    sqlite3_stmt* statement = nullptr;
    const bool kept = std::none_of(entries_.begin(), entries_.end(),
                                   [sql](const Entry& entry) { return entry.sql == sql; });
    sqlite3_prepare_v3(db_, sql, -1, kept ? SQLITE_PREPARE_PERSISTENT : 0, &statement, nullptr);
    if (statement && kept) entries_.push_back({sql, statement, true});
    return statement;
}

void StatementCache::giveBack(sqlite3_stmt* statement) {
    if (!statement) return;
    for (Entry& entry : entries_) {
        if (entry.statement != statement) continue;
        // Reset now, not at the next borrow: a statement left mid-read would hold its read
        // transaction open, and bound blobs would stay copied for nothing.
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        entry.lent = false;
        return;
    }
    sqlite3_finalize(statement);
}

void Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
}

void Statement::bind(int index, double value) {
    sqlite3_bind_double(statement_, index, value);
}

void Statement::bind(int index, const QByteArray& blob) {
    sqlite3_bind_blob(statement_, index, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
}

void Statement::bindText(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, std::optional<double> value) {
    if (value)
        bind(index, *value);
    else
        bindNull(index);
}

void Statement::bindNull(int index) {
    sqlite3_bind_null(statement_, index);
}

void Statement::bindPointer(int index, void* pointer, const char* type) {
    sqlite3_bind_pointer(statement_, index, pointer, type, nullptr);
}

int Statement::step() {
    return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::optional<double> Statement::optionalReal(int column) const {
    if (isNull(column)) return std::nullopt;
    return real(column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

QByteArray Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

QString Statement::text(int column) const {
    const unsigned char* data = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? QString::fromUtf8(reinterpret_cast<const char*>(data), size) : QString();
}

}  // namespace kelvra::library
