// The song database on real SQLite files: what is written is there after a reopen, paths are
// told apart by their bytes. What is not ours is left alone: Database_test.cpp.
#include "library/SongStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QTemporaryDir>
#include <chrono>
#include <future>

#include "core/PathBytes.h"
#include "library/Library.h"
#include "support/LibrarySongs.h"

namespace kelvra::library {
namespace {

TEST(SongStore, HotCuesLastAcrossAReopenAndSongsAreTheirPathsBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/library.sqlite");  // the folder is made
    const QString plain = "/music/song.mp3";
    // The same letters, one of them a byte that is not UTF-8: another file, another song.
    const QString stray = pathFromBytes(QByteArray("/music/s\xF6ng.mp3"));
    {
        SongStore store(path);
        ASSERT_TRUE(store.isOpen()) << store.notice().toStdString();
        EXPECT_TRUE(store.notice().isEmpty());
        EXPECT_TRUE(store.setHotCue(plain, 0, 1000));
        EXPECT_TRUE(store.setHotCue(plain, 7, 4000));
        EXPECT_TRUE(store.setHotCue(plain, 0, 2000));  // replaces
        EXPECT_TRUE(store.setHotCue(stray, 3, 5000));
        EXPECT_FALSE(store.setHotCue(plain, 8, 1));
        EXPECT_FALSE(store.setHotCue(plain, -1, 1));
        EXPECT_FALSE(store.setHotCue(plain, 1, -5));
        EXPECT_TRUE(store.clearHotCue(plain, 7));
        EXPECT_TRUE(store.clearHotCue("/never/seen.mp3", 2));
    }
    SongStore store(path);
    const HotCues cues = store.hotCues(plain);
    EXPECT_EQ(cues[0], 2000);
    for (int slot = 1; slot < kHotCues; ++slot)
        EXPECT_FALSE(cues[std::size_t(slot)]) << slot;
    EXPECT_EQ(store.hotCues(stray)[3], 5000);
    EXPECT_FALSE(store.hotCues(stray)[0]);
    EXPECT_FALSE(store.hotCues("/never/seen.mp3")[0]);
}

TEST(SongStore, LoopsAreKeptPerSongAndAFirstVersionDatabaseIsBroughtUpToDate) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    // A database as the first version left it, with a hot cue in it.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE songs (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
                           " added INTEGER NOT NULL);"
                           "CREATE TABLE hot_cues (song INTEGER NOT NULL REFERENCES songs(id) ON "
                           "DELETE CASCADE, slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 7),"
                           " position INTEGER NOT NULL, PRIMARY KEY (song, slot)) WITHOUT ROWID;"
                           "INSERT INTO songs VALUES (1, CAST('/old.mp3' AS BLOB), 0);"
                           "INSERT INTO hot_cues VALUES (1, 2, 1234);"
                           "PRAGMA application_id=1263294034; PRAGMA user_version=1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    {
        SongStore store(path);
        ASSERT_TRUE(store.isOpen()) << store.notice().toStdString();
        EXPECT_TRUE(store.notice().isEmpty());  // migrated, not set aside
        EXPECT_EQ(store.hotCues("/old.mp3")[2], 1234);
        EXPECT_FALSE(store.loop("/old.mp3"));
        EXPECT_TRUE(store.setLoop("/old.mp3", {100, 900}));
        EXPECT_TRUE(store.setLoop("/old.mp3", {200, 800}));  // the last one set stands
        EXPECT_TRUE(store.setLoop("/new.mp3", {0, 4}));
        EXPECT_FALSE(store.setLoop("/new.mp3", {50, 50}));
        EXPECT_FALSE(store.setLoop("/new.mp3", {-4, 50}));
    }
    SongStore store(path);
    EXPECT_EQ(store.loop("/old.mp3"), (SavedLoop{200, 800}));
    EXPECT_EQ(store.loop("/new.mp3"), (SavedLoop{0, 4}));
    EXPECT_EQ(store.hotCues("/old.mp3")[2], 1234);
}

// A scan holds the library's write transaction for a whole batch, with a full queue behind it: a
// hot cue set then is taken at once and read back at once, and is in the database once the
// batch is done, ahead of the queued files.
TEST(SongStore, AHotCueSetDuringAScanReturnsAtOnceAndLandsAfterTheScansBatch) {
    QTemporaryDir dir;
    Library library(dir.filePath("library.sqlite"));
    ASSERT_TRUE(library.isOpen()) << library.notice().toStdString();
    SongStore store(library);
    ASSERT_TRUE(store.isOpen()) << store.notice().toStdString();
    std::promise<void> release, holding;
    std::shared_future<void> released = release.get_future().share();
    library.writer().submit([&holding, released](sqlite3*) {
        holding.set_value();
        released.wait();
        return true;
    });
    holding.get_future().wait();
    for (std::size_t i = 0; i < LibraryWriter::kQueueLimit; ++i)
        library.store(test::songFacts(QString("/m/%1.mp3").arg(i), "Artist", "Title"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(store.setHotCue("/m/cue.mp3", 3, 4321));
    EXPECT_TRUE(store.setLoop("/m/cue.mp3", {10, 20}));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(100));
    EXPECT_EQ(store.hotCues("/m/cue.mp3")[3], 4321);  // seen before it is written
    EXPECT_EQ(store.loop("/m/cue.mp3"), (SavedLoop{10, 20}));
    release.set_value();
    ASSERT_TRUE(store.flush());
    SongStore reopened(dir.filePath("library.sqlite"));
    EXPECT_EQ(reopened.hotCues("/m/cue.mp3")[3], 4321);
    EXPECT_EQ(reopened.loop("/m/cue.mp3"), (SavedLoop{10, 20}));
    // Ahead of the queued files: its song row came before theirs.
    EXPECT_LT(library.song("/m/cue.mp3")->id, library.song("/m/0.mp3")->id);
}

}  // namespace
}  // namespace kelvra::library
