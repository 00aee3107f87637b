// The song database on real SQLite files: what is written is there after a reopen, paths are
// told apart by their bytes. What is not ours is left alone: Database_test.cpp.
#include "library/SongStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QTemporaryDir>

#include "core/PathBytes.h"

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

}  // namespace
}  // namespace kelvra::library
