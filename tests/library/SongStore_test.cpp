// The song database on real SQLite files: what is written is there after a reopen, paths are
// told apart by their bytes, and a file that is not ours is kept, never overwritten.
#include "library/SongStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
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

// Makes a file at `path` with `bytes` in it.
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(SongStore, AFileThatIsNotOursIsKeptAsideAndAFreshDatabaseTakesItsPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    // Text, another program's database, and one of ours from a newer Kelvra.
    const QByteArray text = "these are my notes, not a database\n";
    sqlite3* other = nullptr;
    const QString otherPath = dir.filePath("other.sqlite");
    ASSERT_EQ(sqlite3_open(otherPath.toUtf8().constData(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE t (x); INSERT INTO t VALUES (42);", nullptr, nullptr,
                 nullptr);
    sqlite3_close(other);
    QFile otherFile(otherPath);
    ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly));
    const QByteArray otherBytes = otherFile.readAll();
    otherFile.close();
    QByteArray newer;
    {
        const QString newerPath = dir.filePath("newer.sqlite");
        { SongStore made(newerPath); }
        sqlite3* db = nullptr;
        sqlite3_open(newerPath.toUtf8().constData(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA user_version=99;", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
        QFile file(newerPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        newer = file.readAll();
    }

    for (const QByteArray& bytes : {text, otherBytes, newer}) {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        writeFile(path, bytes);
        SongStore store(path);
        ASSERT_TRUE(store.isOpen());
        EXPECT_TRUE(store.notice().contains("was kept as")) << store.notice().toStdString();
        EXPECT_TRUE(store.setHotCue("/a.mp3", 1, 10));
        const QStringList aside =
            QDir(dir.path()).entryList({"library.sqlite.unreadable-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(aside[0]));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bytes) << "the file set aside was changed";
    }
}

}  // namespace
}  // namespace kelvra::library
