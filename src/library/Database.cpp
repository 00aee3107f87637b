#include "library/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

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
    // 7: a second text index, of every three letters in a row, so a fragment typed finds the
    // words it is inside ("amura" finds "Nakamura"), which the word index cannot. It indexes the
    // texts as the word index reads them (text_fold: its words, folded, a space apart), so case
    // and accents fold alike in both and every word-start match is one of its matches too. Its
    // content is a view of the songs, so the texts are still stored once and the index can be
    // rebuilt and checked from the rows; the triggers hand it the old folded values a delete
    // needs. Built once here, from the rows as they are.
    ("CREATE VIEW song_folded AS SELECT id, text_fold(artist) AS artist,"
     " text_fold(title) AS title, text_fold(album) AS album, text_fold(genre) AS genre,"
     " text_fold(comment) AS comment FROM songs;"
     "CREATE VIRTUAL TABLE song_inside USING fts5(artist, title, album, genre, comment,"
     " content='song_folded', content_rowid='id', columnsize=0, tokenize='trigram');"
     "CREATE TRIGGER song_inside_insert AFTER INSERT ON songs BEGIN"
     " INSERT INTO song_inside (rowid, artist, title, album, genre, comment)"
     " VALUES (new.id, text_fold(new.artist), text_fold(new.title), text_fold(new.album),"
     " text_fold(new.genre), text_fold(new.comment)); END;"
     "CREATE TRIGGER song_inside_delete AFTER DELETE ON songs BEGIN"
     " INSERT INTO song_inside (song_inside, rowid, artist, title, album, genre, comment)"
     " VALUES ('delete', old.id, text_fold(old.artist), text_fold(old.title),"
     " text_fold(old.album), text_fold(old.genre), text_fold(old.comment)); END;"
     "CREATE TRIGGER song_inside_update AFTER UPDATE OF artist, title, album, genre, comment"
     " ON songs WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
     " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
     " OR old.comment IS NOT new.comment BEGIN"
     " INSERT INTO song_inside (song_inside, rowid, artist, title, album, genre, comment)"
     " VALUES ('delete', old.id, text_fold(old.artist), text_fold(old.title),"
     " text_fold(old.album), text_fold(old.genre), text_fold(old.comment));"
     " INSERT INTO song_inside (rowid, artist, title, album, genre, comment)"
     " VALUES (new.id, text_fold(new.artist), text_fold(new.title), text_fold(new.album),"
     " text_fold(new.genre), text_fold(new.comment)); END;"
     "INSERT INTO song_inside (song_inside) VALUES ('rebuild');"),
    // 8: the modification time a song's file had when its analysis found no steady beat or
    // could not read it (NULL otherwise), so the library's analysis does not try it again at
    // every start, yet does once the file changes; and the scanned songs it has still to look at
    // in an order of their own, so a library analysed long ago finds there is nothing to do
    // without reading its rows.
    ("ALTER TABLE songs ADD COLUMN analysis_failed INTEGER;"
     "CREATE INDEX songs_to_analyse ON songs(id) WHERE bpm IS NULL AND missing_since IS NULL"
     " AND size IS NOT NULL AND analysis_failed IS NOT mtime;"),
};
static_assert(std::size(kMigrations) == kSchemaVersion);

int firstInteger(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    return statement.step() == SQLITE_ROW ? int(statement.integer(0)) : -1;
}

// Why an opening failed, which decides what may be done about it.
enum class Trouble { None, NotAFile, NotOurs, Newer, Busy, Full, Damaged, Other };

struct Opened {
    sqlite3* db = nullptr;
    Trouble trouble = Trouble::None;
    QString why;
};

bool diskFull(sqlite3* db) {
    const int error = sqlite3_system_errno(db);
    return (sqlite3_errcode(db) & 0xff) == SQLITE_FULL || error == ENOSPC || error == EDQUOT ||
           error == EFBIG;
}

Trouble troubleOf(sqlite3* db) {
    const int code = sqlite3_errcode(db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return Trouble::Busy;
    if (diskFull(db)) return Trouble::Full;
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return Trouble::Damaged;
    return Trouble::Other;
}

// The steps from the database's version up to `target`. A failed step is rolled back, and what
// went wrong is kept in `trouble` and `why` first (the rollback's own success would hide it).
bool migrateSteps(sqlite3* db, int target, Trouble& trouble, QString& why) {
    const auto failed = [&] {
        trouble = troubleOf(db);
        why = errorText(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (target > kSchemaVersion || !addTextInitials(db)) {
        trouble = Trouble::Other;
        why = QStringLiteral("this SQLite has no full-text search");
        return false;
    }
    // The version is read inside the step's own write transaction: two programs opening a new
    // database at once would otherwise both see it empty, and the second would run a step the
    // first had already made.
    for (;;) {
        if (!execute(db, "BEGIN IMMEDIATE")) return failed();
        const int version = firstInteger(db, "PRAGMA user_version");
        if (version < 0) return failed();
        if (version >= target) return execute(db, "COMMIT") || failed();
        const QByteArray sql = QByteArray(kMigrations[version]) +
                               QByteArray("PRAGMA application_id=") +
                               QByteArray::number(kApplicationId) +
                               ";PRAGMA user_version=" + QByteArray::number(version + 1) + ";";
        if (!execute(db, sql.constData()) || !execute(db, "COMMIT")) return failed();
    }
}

}  // namespace

bool migrateTo(sqlite3* db, int target) {
    Trouble trouble = Trouble::None;
    QString why;
    return migrateSteps(db, target, trouble, why);
}

namespace {

// Whether the file's first page says it is an SQLite database marked as Kelvra's: only such a
// file, when it cannot be read, is a damaged database of ours and not someone else's file.
bool headerIsOurs(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return false;
    const auto byte = [&](int at) { return std::uint32_t(std::uint8_t(header[at])); };
    return (byte(68) << 24 | byte(69) << 16 | byte(70) << 8 | byte(71)) ==
           std::uint32_t(kApplicationId);
}

// What stands at `path`: nothing (it may be made), a regular file, or something Kelvra must not
// open as a database at all (a folder, a device, a FIFO that would block the open).
std::optional<QString> notARegularFile(const QString& path) {
    struct stat info {};
    if (::stat(pathToBytes(path).constData(), &info) != 0)
        return errno == ENOENT ? std::nullopt
                               : std::optional<QString>(QString::fromLocal8Bit(strerror(errno)));
    if (S_ISREG(info.st_mode)) return std::nullopt;
    if (S_ISDIR(info.st_mode)) return QStringLiteral("it is a folder");
    if (S_ISFIFO(info.st_mode)) return QStringLiteral("it is a pipe");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return QStringLiteral("it is a device");
    return QStringLiteral("it is not a regular file");
}

Opened tryOpenOnce(const QString& path, bool migrating, bool checking);

// Opens `path` as a database of ours, migrating it when `migrating`. `checking` runs the quick
// check of the pages first, so damage is found before anything is written into it. SQLite answers
// some lock conflicts at once instead of waiting (two connections making a new database's journal
// WAL at the same moment): those are tried again, within the same bounded wait.
Opened tryOpen(const QString& path, bool migrating, bool checking) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyWaitMs);
    for (;;) {
        Opened opened = tryOpenOnce(path, migrating, checking);
        if (opened.trouble != Trouble::Busy || std::chrono::steady_clock::now() >= deadline)
            return opened;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Opened tryOpenOnce(const QString& path, bool migrating, bool checking) {
    Opened result;
    if (const auto what = notARegularFile(path)) {
        result.trouble = Trouble::NotAFile;
        result.why = *what;
        return result;
    }
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        pathToBytes(path).constData(), &db,
        SQLITE_OPEN_READWRITE | (migrating ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    const auto fail = [&](Trouble trouble, const QString& reason) {
        result.trouble = trouble;
        result.why = reason;
        sqlite3_close(db);
        return result;
    };
    const auto failed = [&] { return fail(troubleOf(db), errorText(db)); };
    if (opened != SQLITE_OK) return failed();
    // The writer and the readers wait for each other's short transactions instead of failing,
    // and for another program's lock as long as a DJ would wait for an answer.
    sqlite3_busy_timeout(db, kBusyWaitMs);
    // Reading the schema is the first touch of the file: a file that is no database fails here.
    const int tables = firstInteger(db, "SELECT count(*) FROM sqlite_master");
    if (tables < 0) return failed();
    if (tables > 0 && firstInteger(db, "PRAGMA application_id") != kApplicationId)
        return fail(Trouble::NotOurs, QStringLiteral("it is not a Kelvra song database"));
    const int version = firstInteger(db, "PRAGMA user_version");
    if (version < 0) return failed();
    if (version > kSchemaVersion)
        return fail(Trouble::Newer, QStringLiteral("it was made by a newer Kelvra"));
    if (!migrating && version != kSchemaVersion)
        return fail(Trouble::Other, QStringLiteral("the database is not up to date"));
    if (checking && tables > 0) {
        Statement check(db, "PRAGMA quick_check(1)");
        const int step = check.step();
        if (step != SQLITE_ROW) return failed();
        if (check.text(0) != QLatin1String("ok")) return fail(Trouble::Damaged, check.text(0));
    }
    if (!execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"))
        return failed();
    if (!addTextInitials(db))
        return fail(Trouble::Other, QStringLiteral("this SQLite has no full-text search"));
    if (migrating && !migrateSteps(db, kSchemaVersion, result.trouble, result.why)) {
        sqlite3_close(db);
        return result;
    }
    result.db = db;
    return result;
}

QString quoted(const QString& path) {
    return u'"' + readablePath(path) + u'"';
}

// A name beside `path` that nothing has yet, for the damaged file.
QString asideName(const QString& path) {
    const QString stem =
        path + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + "-wal"); ++n)
        aside = stem + u'-' + QString::number(n);
    return aside;
}

// Renames the damaged database and its journal files (which belong to it) to `aside`. QFile never
// renames over a file that is there: a name taken since it was chosen is not overwritten.
bool setAside(const QString& path, const QString& aside) {
    if (!QFile::rename(path, aside)) return false;
    for (const char* journal : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(path + journal)) QFile::rename(path + journal, aside + journal);
    return true;
}

}  // namespace

QString recoveryAdvice() {
    return QStringLiteral(
        "A scan of the music folders brings the songs back into a new database; hot cues, loops, "
        "crates and the history come back only from a backup copy of the database, so keep one.");
}

sqlite3* openDatabase(const QString& path, QString& notice, Access access) {
    notice.clear();
    if (!notARegularFile(path)) QDir().mkpath(QFileInfo(path).absolutePath());
    // The quick check reads every page (about 0.4 s for 100,000 songs): a writer pays it, before
    // it writes into a damaged file; a reader finds damage in what it reads.
    const bool checking = access == Access::Writing;
    Opened opened = tryOpen(path, true, checking);
    if (opened.db) return opened.db;
    const QString name = quoted(path);
    switch (opened.trouble) {
        case Trouble::NotAFile:
        case Trouble::NotOurs:
        case Trouble::Newer:
            notice =
                QStringLiteral(
                    "The song database %1 cannot be used (%2); Kelvra leaves it as it is. Name "
                    "another file for the database, or move this one away.")
                    .arg(name, opened.why);
            return nullptr;
        case Trouble::Busy:
            notice = QStringLiteral(
                         "The song database %1 is in use by another program (Kelvra waited %2 "
                         "seconds for it): close the other program and try again.")
                         .arg(name)
                         .arg(kBusyWaitMs / 1000);
            return nullptr;
        case Trouble::Damaged:
            break;
        default:
            notice =
                QStringLiteral("The song database %1 cannot be opened: %2.").arg(name, opened.why);
            return nullptr;
    }
    if (access == Access::Reading || !headerIsOurs(path)) {
        notice = headerIsOurs(path)
                     ? QStringLiteral(
                           "The song database %1 is damaged (%2). Nothing was changed; "
                           "the next scan keeps it aside and starts a new one. %3")
                           .arg(name, opened.why, recoveryAdvice())
                     : QStringLiteral(
                           "The song database %1 cannot be used (%2: it is not a Kelvra song "
                           "database, or its first page is damaged); Kelvra leaves it as it is. "
                           "Name another file for the database, or move this one away.")
                           .arg(name, opened.why);
        return nullptr;
    }
    // Damaged and ours, and the DJ asked for a write: keep it under another name, never away, and
    // start afresh, so the program remembers from now on.
    const QString aside = asideName(path);
    if (!setAside(path, aside)) {
        notice = QStringLiteral(
                     "The song database %1 is damaged (%2) and could not be kept aside "
                     "as %3: %4. Nothing was changed. %5")
                     .arg(name, opened.why, quoted(aside), QString::fromLocal8Bit(strerror(errno)),
                          recoveryAdvice());
        return nullptr;
    }
    const QString damage = opened.why;
    opened = tryOpen(path, true, checking);
    if (!opened.db) {
        notice = QStringLiteral(
                     "The song database %1 is damaged (%2); it was kept as %3, and a "
                     "new one could not be made: %4.")
                     .arg(name, damage, quoted(aside), opened.why);
        return nullptr;
    }
    notice = QStringLiteral(
                 "The song database %1 is damaged (%2); it was kept as %3 and a new "
                 "one was started. %4")
                 .arg(name, damage, quoted(aside), recoveryAdvice());
    return opened.db;
}

sqlite3* openConnection(const QString& path, QString& why) {
    Opened opened = tryOpen(path, false, false);
    why = opened.why;
    return opened.db;
}

QStringList databaseProblems(const QString& path) {
    if (const auto what = notARegularFile(path)) return {*what};
    if (!QFileInfo::exists(path)) return {QString::fromLocal8Bit(strerror(ENOENT))};
    // Read-write only for the text index's own check, which is asked for as a write and changes
    // nothing (and is rolled back besides); a file that cannot be written is checked without it.
    sqlite3* db = nullptr;
    bool writable = true;
    if (sqlite3_open_v2(pathToBytes(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        writable = false;
    }
    QStringList problems;
    if (!db && sqlite3_open_v2(pathToBytes(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
                   SQLITE_OK) {
        problems << errorText(db);
        sqlite3_close(db);
        return problems;
    }
    sqlite3_busy_timeout(db, kBusyWaitMs);
    {
        Statement check(db, "PRAGMA integrity_check(20)");
        int step;
        while ((step = check.step()) == SQLITE_ROW)
            if (check.text(0) != QLatin1String("ok")) problems << check.text(0);
        if (step != SQLITE_DONE) problems << errorText(db);
    }
    // The text index is checked against the songs it indexes, which the page check cannot see.
    if (problems.isEmpty() && writable && addTextInitials(db) &&
        firstInteger(db, "SELECT count(*) FROM sqlite_master WHERE name = 'song_text'") > 0) {
        if (!execute(db, "BEGIN IMMEDIATE")) {
            problems << errorText(db);
        } else {
            if (!execute(db, "INSERT INTO song_text (song_text) VALUES ('integrity-check')"))
                problems << QStringLiteral("the text index: %1").arg(errorText(db));
            if (firstInteger(db, "SELECT count(*) FROM sqlite_master WHERE name = 'song_inside'") >
                    0 &&
                !execute(db, "INSERT INTO song_inside (song_inside) VALUES ('integrity-check')"))
                problems << QStringLiteral("the index of fragments: %1").arg(errorText(db));
            execute(db, "ROLLBACK");
        }
    }
    sqlite3_close(db);
    return problems;
}

QString stepFailure(sqlite3* db, int step) {
    if (step == SQLITE_DONE || step == SQLITE_ROW || step == SQLITE_OK) return {};
    if (step == SQLITE_CORRUPT || step == SQLITE_NOTADB ||
        (sqlite3_errcode(db) & 0xff) == SQLITE_CORRUPT)
        return QStringLiteral("the song database is damaged (%1). %2")
            .arg(errorText(db), recoveryAdvice());
    return errorText(db);
}

QString errorText(sqlite3* db) {
    if (!db) return QStringLiteral("out of memory");
    // A write refused for want of room shows as SQLITE_FULL, or as an I/O error whose cause is
    // no space, the quota or the file size limit: to the DJ all of them are a full disk.
    if (diskFull(db)) return QStringLiteral("the disk is full");
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

int Statement::indexOf(const char* name) const {
    return statement_ ? sqlite3_bind_parameter_index(statement_, name) : 0;
}

void Statement::bind(const char* name, std::int64_t value) {
    sqlite3_bind_int64(statement_, indexOf(name), value);
}

void Statement::bind(const char* name, double value) {
    sqlite3_bind_double(statement_, indexOf(name), value);
}

void Statement::bind(const char* name, const QByteArray& blob) {
    sqlite3_bind_blob(statement_, indexOf(name), blob.constData(), int(blob.size()),
                      SQLITE_TRANSIENT);
}

void Statement::bindText(const char* name, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement_, indexOf(name), utf8.constData(), int(utf8.size()),
                      SQLITE_TRANSIENT);
}

void Statement::bind(const char* name, std::optional<double> value) {
    if (value)
        bind(name, *value);
    else
        bindNull(name);
}

void Statement::bindNull(const char* name) {
    sqlite3_bind_null(statement_, indexOf(name));
}

void Statement::bindPointer(const char* name, void* pointer, const char* type) {
    sqlite3_bind_pointer(statement_, indexOf(name), pointer, type, nullptr);
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
