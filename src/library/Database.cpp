// Opening the song database: the checks of what stands at the path, the retries while it is
// locked, setting a damaged one aside, the whole check, and errors as sentences. The schema's
// steps live in DatabaseSchema.cpp, the statement wrapper in Statement.cpp.
#include "library/Database.h"

#include <sqlite3.h>

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

#include "core/PathBytes.h"
#include "library/DatabaseInternal.h"
#include "library/TextInitials.h"

namespace kelvra::library {

int firstInteger(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    return statement.step() == SQLITE_ROW ? int(statement.integer(0)) : -1;
}

namespace {

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

}  // namespace

Trouble troubleOf(sqlite3* db) {
    const int code = sqlite3_errcode(db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return Trouble::Busy;
    if (diskFull(db)) return Trouble::Full;
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return Trouble::Damaged;
    return Trouble::Other;
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
        // A statement may still be open here (the quick check's): the connection goes as soon as
        // it is finalised, before the file is set aside, instead of staying open for good.
        sqlite3_close_v2(db);
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

}  // namespace kelvra::library
