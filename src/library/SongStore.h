// What Kelvra remembers of each song the DJ has used, kept in one SQLite database in the user's
// data folder: the songs by their path's bytes, and each song's hot cues and saved loop. WAL mode
// with normal synchronisation, so a write costs no disk flush on the UI thread and a crash loses at
// most the last moments, never what was committed before; foreign keys on. The schema carries its
// version in user_version and is migrated forward step by step when an older one is opened. What is
// not a database of ours is refused and left as it is; one of ours found damaged is set aside under
// a new name, never deleted, and a fresh database takes its place (Database.h). Reads run on a
// connection of the store's own; every write is handed to a library writer (the running
// program's one, or the store's own) and returns at once, so a hot cue set while a scan holds the
// database never waits: the store's reads see it at once, the database when the writer gets to it.
// Thread: the thread that made it.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "library/Database.h"

struct sqlite3;

namespace kelvra::library {

class Library;
class LibraryWriter;

inline constexpr int kHotCues = 8;
// A song's hot cues as the deck's byte positions in the decoded song; empty slots are unset.
using HotCues = std::array<std::optional<std::int64_t>, kHotCues>;

// A song's loop as the deck's byte positions: where it starts and where it ends.
struct SavedLoop {
    std::int64_t in = 0;
    std::int64_t out = 0;
    bool operator==(const SavedLoop&) const = default;
};

class SongStore {
  public:
    // Opens (or makes) the database at `path`. When that fails, the store stays closed and every
    // call is a harmless no-op: the DJ plays on without remembered cues.
    explicit SongStore(const QString& path);
    // The songs of `library`'s database, written through its writer, which must outlive the
    // store. Closed when the library is.
    explicit SongStore(Library& library);
    ~SongStore();
    SongStore(const SongStore&) = delete;
    SongStore& operator=(const SongStore&) = delete;

    static QString defaultPath();
    static constexpr int kSchemaVersion = library::kSchemaVersion;

    bool isOpen() const { return db_ != nullptr && writer_ != nullptr; }
    // Why the store is closed, or what happened to a file that was not ours; empty otherwise.
    QString notice() const { return notice_; }

    // What the DJ set, the changes not yet written included.
    HotCues hotCues(const QString& song) const;
    // True when the change was taken (refused for a slot or place out of range, a closed store or
    // a writer that has failed).
    bool setHotCue(const QString& song, int slot, std::int64_t position);
    bool clearHotCue(const QString& song, int slot);

    // The loop last set on the song, to be taken up again when it is loaded.
    std::optional<SavedLoop> loop(const QString& song) const;
    // Refused for a loop that ends where it starts or before, or starts before the song.
    bool setLoop(const QString& song, const SavedLoop& loop);

    // Waits until every change taken so far is in the database. True when all of them are.
    bool flush();

  private:
    struct Pending;
    explicit SongStore(std::unique_ptr<Library> own);
    // Takes the change (a place to set, or nothing to clear the slot) and hands it to the writer.
    bool writeHotCue(const QByteArray& path, int slot, std::optional<std::int64_t> position);

    sqlite3* db_ = nullptr;  // the reads'
    QString notice_;
    std::unique_ptr<Library> ownLibrary_;
    LibraryWriter* writer_ = nullptr;
    std::shared_ptr<Pending> pending_;  // shared with the jobs, which may outlive the store
};

}  // namespace kelvra::library
