#include "library/SongStore.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/PathBytes.h"

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
};
static_assert(std::size(kMigrations) == SongStore::kSchemaVersion);

// A prepared statement that finalises itself.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (db) sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return statement_ != nullptr; }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
    void bind(int index, const QByteArray& bytes) {
        sqlite3_bind_blob(statement_, index, bytes.constData(), int(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    int step() { return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE; }
    std::int64_t column(int index) const { return sqlite3_column_int64(statement_, index); }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

int pragmaValue(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    return statement.step() == SQLITE_ROW ? int(statement.column(0)) : -1;
}

}  // namespace

QString SongStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/kelvra/library.sqlite";
}

SongStore::SongStore(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (open(path)) return;
    // Not a database, or not ours, or of a newer Kelvra: keep it under another name and start
    // afresh, so nothing the DJ had is lost and the program still remembers from now on.
    const QString aside =
        path + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    if (QFile::exists(path) && QFile::rename(path, aside)) {
        QFile::remove(path + "-wal");
        QFile::remove(path + "-shm");
        const QString why = notice_;
        if (open(path))
            notice_ = QStringLiteral(
                          "The song database could not be read (%1); it was kept as "
                          "\"%2\" and a new one was started.")
                          .arg(why, QFileInfo(aside).fileName());
    }
}

SongStore::~SongStore() {
    sqlite3_close(db_);
}

bool SongStore::open(const QString& path) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        pathToBytes(path).constData(), &db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    db_ = db;
    const auto fail = [this](const QString& why) {
        notice_ = why;
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    };
    if (opened != SQLITE_OK) return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_busy_timeout(db_, 2000);
    // Reading the schema is the first touch of the file: a file that is no database fails here.
    const int tables = pragmaValue(db_, "SELECT count(*) FROM sqlite_master");
    if (tables < 0) return fail(QString::fromUtf8(sqlite3_errmsg(db_)));
    const int id = pragmaValue(db_, "PRAGMA application_id");
    if (tables > 0 && id != kApplicationId) return fail(QStringLiteral("not a Kelvra database"));
    if (pragmaValue(db_, "PRAGMA user_version") > kSchemaVersion)
        return fail(QStringLiteral("made by a newer Kelvra"));
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"))
        return fail(QString::fromUtf8(sqlite3_errmsg(db_)));
    if (!migrate()) return fail(QString::fromUtf8(sqlite3_errmsg(db_)));
    return true;
}

bool SongStore::migrate() {
    const int version = pragmaValue(db_, "PRAGMA user_version");
    for (int step = version; step < kSchemaVersion; ++step) {
        const QByteArray sql = QByteArray("BEGIN IMMEDIATE;") + kMigrations[step] +
                               QByteArray("PRAGMA application_id=") +
                               QByteArray::number(kApplicationId) +
                               ";PRAGMA user_version=" + QByteArray::number(step + 1) + ";COMMIT;";
        if (!exec(sql.constData())) {
            exec("ROLLBACK");
            return false;
        }
    }
    return true;
}

bool SongStore::exec(const char* sql) {
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<std::int64_t> SongStore::songId(const QString& song, bool create) {
    const QByteArray path = pathToBytes(song);
    if (create) {
        Statement insert(db_, "INSERT OR IGNORE INTO songs (path, added) VALUES (?1, ?2)");
        insert.bind(1, path);
        insert.bind(2, QDateTime::currentSecsSinceEpoch());
        if (insert.step() != SQLITE_DONE) return std::nullopt;
    }
    Statement find(db_, "SELECT id FROM songs WHERE path = ?1");
    find.bind(1, path);
    if (find.step() != SQLITE_ROW) return std::nullopt;
    return find.column(0);
}

HotCues SongStore::hotCues(const QString& song) const {
    HotCues cues;
    Statement select(db_,
                     "SELECT slot, position FROM hot_cues JOIN songs ON songs.id = hot_cues.song"
                     " WHERE songs.path = ?1");
    select.bind(1, pathToBytes(song));
    while (select.step() == SQLITE_ROW) {
        const std::int64_t slot = select.column(0);
        if (slot >= 0 && slot < kHotCues) cues[std::size_t(slot)] = select.column(1);
    }
    return cues;
}

bool SongStore::setHotCue(const QString& song, int slot, std::int64_t position) {
    if (slot < 0 || slot >= kHotCues || position < 0) return false;
    const auto id = songId(song, true);
    if (!id) return false;
    Statement upsert(db_,
                     "INSERT OR REPLACE INTO hot_cues (song, slot, position) VALUES (?1, ?2, ?3)");
    upsert.bind(1, *id);
    upsert.bind(2, slot);
    upsert.bind(3, position);
    return upsert.step() == SQLITE_DONE;
}

bool SongStore::clearHotCue(const QString& song, int slot) {
    const auto id = songId(song, false);
    if (!id) return true;
    Statement remove(db_, "DELETE FROM hot_cues WHERE song = ?1 AND slot = ?2");
    remove.bind(1, *id);
    remove.bind(2, slot);
    return remove.step() == SQLITE_DONE;
}

std::optional<SavedLoop> SongStore::loop(const QString& song) const {
    Statement select(db_,
                     "SELECT loop_in, loop_out FROM loops JOIN songs ON songs.id = loops.song"
                     " WHERE songs.path = ?1");
    select.bind(1, pathToBytes(song));
    if (select.step() != SQLITE_ROW) return std::nullopt;
    return SavedLoop{select.column(0), select.column(1)};
}

bool SongStore::setLoop(const QString& song, const SavedLoop& loop) {
    if (loop.in < 0 || loop.out <= loop.in) return false;
    const auto id = songId(song, true);
    if (!id) return false;
    Statement upsert(db_,
                     "INSERT OR REPLACE INTO loops (song, loop_in, loop_out) VALUES (?1, ?2, ?3)");
    upsert.bind(1, *id);
    upsert.bind(2, loop.in);
    upsert.bind(3, loop.out);
    return upsert.step() == SQLITE_DONE;
}

}  // namespace kelvra::library
