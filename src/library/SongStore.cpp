#include "library/SongStore.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QHash>
#include <QStandardPaths>
#include <mutex>

#include "core/PathBytes.h"
#include "library/Library.h"
#include "library/LibraryWriter.h"

namespace kelvra::library {

// The changes taken and not yet committed, by the song path's bytes, each with the number it was
// taken under: a change that lands forgets itself only if no later one took its place.
struct SongStore::Pending {
    struct Song {
        std::array<std::optional<std::optional<std::int64_t>>, kHotCues> cues;  // set or cleared
        std::array<std::uint64_t, kHotCues> cueTaken{};
        std::optional<SavedLoop> loop;
        std::uint64_t loopTaken = 0;
    };
    std::mutex mutex;
    QHash<QByteArray, Song> songs;
    std::uint64_t taken = 0;
};

namespace {

// The song's row, made bare when it is not there yet (its file is read by a later scan).
std::optional<std::int64_t> songId(sqlite3* db, const QByteArray& path) {
    Statement insert(db, "INSERT OR IGNORE INTO songs (path, added) VALUES (:path, :added)");
    insert.bind(":path", path);
    insert.bind(":added", std::int64_t(QDateTime::currentSecsSinceEpoch()));
    if (insert.step() != SQLITE_DONE) return std::nullopt;
    Statement find(db, "SELECT id FROM songs WHERE path = :path");
    find.bind(":path", path);
    if (find.step() != SQLITE_ROW) return std::nullopt;
    return find.integer(0);
}

}  // namespace

QString SongStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/kelvra/library.sqlite";
}

// A store of its own opens the library too, so the DJ's cues and loops have one writer whichever
// way the program was put together.
SongStore::SongStore(const QString& path) : SongStore(std::make_unique<Library>(path)) {}

SongStore::SongStore(std::unique_ptr<Library> own) : SongStore(*own) {
    ownLibrary_ = std::move(own);
}

SongStore::SongStore(Library& library)
    : notice_(library.notice()), pending_(std::make_shared<Pending>()) {
    if (!library.isOpen()) return;
    QString why;
    db_ = openConnection(library.path(), why);
    if (!db_) notice_ = why;
    writer_ = &library.writer();
}

SongStore::~SongStore() {
    sqlite3_close(db_);
    ownLibrary_.reset();  // its writer writes what was taken
}

bool SongStore::flush() {
    return writer_ && writer_->flush();
}

HotCues SongStore::hotCues(const QString& song) const {
    HotCues cues;
    if (!isOpen()) return cues;
    const QByteArray path = pathToBytes(song);
    // The changes are copied before the rows are read: one that lands in between is then in
    // either, never in neither.
    std::optional<Pending::Song> pending;
    {
        std::lock_guard lock(pending_->mutex);
        if (const auto found = pending_->songs.constFind(path); found != pending_->songs.cend())
            pending = *found;
    }
    Statement select(db_,
                     "SELECT slot, position FROM hot_cues JOIN songs ON songs.id = hot_cues.song"
                     " WHERE songs.path = :path");
    select.bind(":path", path);
    while (select.step() == SQLITE_ROW) {
        const std::int64_t slot = select.integer(0);
        if (slot >= 0 && slot < kHotCues) cues[std::size_t(slot)] = select.integer(1);
    }
    if (pending)
        for (std::size_t slot = 0; slot < cues.size(); ++slot)
            if (pending->cues[slot]) cues[slot] = *pending->cues[slot];
    return cues;
}

bool SongStore::setHotCue(const QString& song, int slot, std::int64_t position) {
    if (slot < 0 || slot >= kHotCues || position < 0 || !isOpen()) return false;
    return writeHotCue(pathToBytes(song), slot, position);
}

bool SongStore::clearHotCue(const QString& song, int slot) {
    if (slot < 0 || slot >= kHotCues) return true;
    if (!isOpen()) return false;
    return writeHotCue(pathToBytes(song), slot, std::nullopt);
}

bool SongStore::writeHotCue(const QByteArray& path, int slot,
                            std::optional<std::int64_t> position) {
    const auto at = std::size_t(slot);
    std::uint64_t taken;
    {
        std::lock_guard lock(pending_->mutex);
        taken = ++pending_->taken;
        Pending::Song& pending = pending_->songs[path];
        pending.cues[at] = position;
        pending.cueTaken[at] = taken;
    }
    return writer_->submit(
        [path, slot, position](sqlite3* db) {
            if (!position) {
                Statement remove(db,
                                 "DELETE FROM hot_cues WHERE slot = :slot"
                                 " AND song = (SELECT id FROM songs WHERE path = :path)");
                remove.bind(":path", path);
                remove.bind(":slot", std::int64_t(slot));
                return remove.step() == SQLITE_DONE;
            }
            const auto id = songId(db, path);
            if (!id) return false;
            Statement upsert(db,
                             "INSERT OR REPLACE INTO hot_cues (song, slot, position)"
                             " VALUES (:song, :slot, :position)");
            upsert.bind(":song", *id);
            upsert.bind(":slot", std::int64_t(slot));
            upsert.bind(":position", *position);
            return upsert.step() == SQLITE_DONE;
        },
        LibraryWriter::Urgency::Now,
        [pending = pending_, path, at, taken] {
            std::lock_guard lock(pending->mutex);
            const auto found = pending->songs.find(path);
            if (found != pending->songs.end() && found->cueTaken[at] == taken)
                found->cues[at].reset();
        });
}

std::optional<SavedLoop> SongStore::loop(const QString& song) const {
    if (!isOpen()) return std::nullopt;
    const QByteArray path = pathToBytes(song);
    {
        std::lock_guard lock(pending_->mutex);
        if (const auto found = pending_->songs.constFind(path);
            found != pending_->songs.cend() && found->loop)
            return found->loop;
    }
    Statement select(db_,
                     "SELECT loop_in, loop_out FROM loops JOIN songs ON songs.id = loops.song"
                     " WHERE songs.path = :path");
    select.bind(":path", path);
    if (select.step() != SQLITE_ROW) return std::nullopt;
    return SavedLoop{select.integer(0), select.integer(1)};
}

bool SongStore::setLoop(const QString& song, const SavedLoop& loop) {
    if (loop.in < 0 || loop.out <= loop.in || !isOpen()) return false;
    const QByteArray path = pathToBytes(song);
    std::uint64_t taken;
    {
        std::lock_guard lock(pending_->mutex);
        taken = ++pending_->taken;
        Pending::Song& pending = pending_->songs[path];
        pending.loop = loop;
        pending.loopTaken = taken;
    }
    return writer_->submit(
        [path, loop](sqlite3* db) {
            const auto id = songId(db, path);
            if (!id) return false;
            Statement upsert(db,
                             "INSERT OR REPLACE INTO loops (song, loop_in, loop_out)"
                             " VALUES (:song, :in, :out)");
            upsert.bind(":song", *id);
            upsert.bind(":in", loop.in);
            upsert.bind(":out", loop.out);
            return upsert.step() == SQLITE_DONE;
        },
        LibraryWriter::Urgency::Now,
        [pending = pending_, path, taken] {
            std::lock_guard lock(pending->mutex);
            const auto found = pending->songs.find(path);
            if (found != pending->songs.end() && found->loopTaken == taken) found->loop.reset();
        });
}

}  // namespace kelvra::library
