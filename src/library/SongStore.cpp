#include "library/SongStore.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QStandardPaths>

#include "core/PathBytes.h"

namespace kelvra::library {

QString SongStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/kelvra/library.sqlite";
}

SongStore::SongStore(const QString& path) {
    db_ = openDatabase(path, notice_);
}

SongStore::SongStore(const QString& path, const Opened& opened) {
    if (opened.open) db_ = openConnection(path, notice_);
    if (db_ || !opened.open) notice_ = opened.notice;
}

SongStore::~SongStore() {
    sqlite3_close(db_);
}

std::optional<std::int64_t> SongStore::songId(const QString& song, bool create) {
    const QByteArray path = pathToBytes(song);
    if (create) {
        Statement insert(db_, "INSERT OR IGNORE INTO songs (path, added) VALUES (?1, ?2)");
        insert.bind(1, path);
        insert.bind(2, std::int64_t(QDateTime::currentSecsSinceEpoch()));
        if (insert.step() != SQLITE_DONE) return std::nullopt;
    }
    Statement find(db_, "SELECT id FROM songs WHERE path = ?1");
    find.bind(1, path);
    if (find.step() != SQLITE_ROW) return std::nullopt;
    return find.integer(0);
}

HotCues SongStore::hotCues(const QString& song) const {
    HotCues cues;
    Statement select(db_,
                     "SELECT slot, position FROM hot_cues JOIN songs ON songs.id = hot_cues.song"
                     " WHERE songs.path = ?1");
    select.bind(1, pathToBytes(song));
    while (select.step() == SQLITE_ROW) {
        const std::int64_t slot = select.integer(0);
        if (slot >= 0 && slot < kHotCues) cues[std::size_t(slot)] = select.integer(1);
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
    upsert.bind(2, std::int64_t(slot));
    upsert.bind(3, position);
    return upsert.step() == SQLITE_DONE;
}

bool SongStore::clearHotCue(const QString& song, int slot) {
    const auto id = songId(song, false);
    if (!id) return true;
    Statement remove(db_, "DELETE FROM hot_cues WHERE song = ?1 AND slot = ?2");
    remove.bind(1, *id);
    remove.bind(2, std::int64_t(slot));
    return remove.step() == SQLITE_DONE;
}

std::optional<SavedLoop> SongStore::loop(const QString& song) const {
    Statement select(db_,
                     "SELECT loop_in, loop_out FROM loops JOIN songs ON songs.id = loops.song"
                     " WHERE songs.path = ?1");
    select.bind(1, pathToBytes(song));
    if (select.step() != SQLITE_ROW) return std::nullopt;
    return SavedLoop{select.integer(0), select.integer(1)};
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
