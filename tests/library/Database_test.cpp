// Opening the song database when something is wrong with it or around it: a database held by
// another program is waited for and never set aside, what is not ours (a folder, a device, a pipe,
// another program's database, a newer Kelvra's) is refused and left exactly as it was, and only a
// database of ours that fails its check is set aside, by a writer alone, with both files named.
#include "library/Database.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "library/Library.h"
#include "library/SearchQuery.h"
#include "library/SongStore.h"
#include "support/FileBytes.h"
#include "support/LibrarySongs.h"

namespace kelvra::library {
namespace {

using test::contents;
using test::damage;
using test::writeFile;

// The names in `folder` other than `except`: what an opening left beside the database.
QStringList othersIn(const QString& folder, const QStringList& except) {
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : except)
        names.removeAll(name);
    return names;
}

// A library of `songs` songs, closed, in rollback-journal mode when `journal` (what another
// program may leave it in), so its bytes stand still on disk.
void makeLibrary(const QString& path, int songs, bool journal = false) {
    {
        Library library(path);
        ASSERT_TRUE(library.isOpen()) << library.notice().toStdString();
        for (int i = 0; i < songs; ++i)
            library.store(test::songFacts(QString("/m/%1/song %2.mp3").arg(i % 40).arg(i),
                                          QString("Artist %1").arg(i % 97),
                                          QString("Title number %1").arg(i), 120, i % 24));
        ASSERT_TRUE(library.writer().flush());
    }
    if (journal) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
}

TEST(Database, ADatabaseHeldByAnotherProgramIsWaitedForAndNeverSetAside) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    makeLibrary(path, 50, true);
    const QByteArray before = contents(path);

    // Held in exclusive locking mode, and read in a rollback-journal transaction: both keep a
    // writer out, and the first a reader too.
    for (const char* hold : {"PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;",
                             "BEGIN; SELECT count(*) FROM songs;"}) {
        SCOPED_TRACE(hold);
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, hold, nullptr, nullptr, nullptr), SQLITE_OK);
        // Let go within the wait: the opening gets the database, whole.
        std::thread release([other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        });
        {
            Library library(path, Access::Reading);
            release.join();
            ASSERT_TRUE(library.isOpen()) << library.notice().toStdString();
            EXPECT_EQ(library.songCount(), 50);
        }
        EXPECT_EQ(othersIn(dir.path(), {"library.sqlite"}), QStringList());
        // Back to how the other program keeps it, for the next hold.
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    // Held past the wait: refused with a message, for a writer too, and nothing moved.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    {
        SongStore store(path);
        EXPECT_FALSE(store.isOpen());
        EXPECT_TRUE(store.notice().contains("in use by another program"))
            << store.notice().toStdString();
        EXPECT_TRUE(store.notice().contains(path)) << store.notice().toStdString();
    }
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(othersIn(dir.path(), {"library.sqlite"}), QStringList());
    EXPECT_EQ(contents(path).size(), before.size());
    Library library(path, Access::Reading);
    EXPECT_EQ(library.songCount(), 50);
}

TEST(Database, OpeningsOfANewDatabaseAtOnceAllGetTheSameOne) {
    for (int round = 0; round < 12; ++round) {
        QTemporaryDir dir;
        const QString path = dir.filePath("library.sqlite");
        std::vector<std::thread> openers;
        std::vector<QString> notices(3);
        std::vector<int> counts(3, -1);
        for (std::size_t i = 0; i < notices.size(); ++i)
            openers.emplace_back([&, i] {
                Library library(path);
                notices[i] = library.notice();
                if (!library.isOpen()) return;
                library.store(test::songFacts(QString("/m/%1.mp3").arg(i), "A", "T"));
                library.writer().flush();
                counts[i] = int(library.songCount());
            });
        for (std::thread& opener : openers)
            opener.join();
        for (std::size_t i = 0; i < notices.size(); ++i) {
            EXPECT_TRUE(notices[i].isEmpty()) << round << ": " << notices[i].toStdString();
            EXPECT_GE(counts[i], 1) << round;
        }
        EXPECT_EQ(
            othersIn(dir.path(), {"library.sqlite", "library.sqlite-wal", "library.sqlite-shm"}),
            QStringList())
            << round;
        Library library(path);
        EXPECT_EQ(library.songCount(), 3) << round;
    }
}

TEST(Database, WhatIsNotOursIsRefusedAndLeftExactlyAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    // Another program's database, one of a newer Kelvra, and plain text.
    const QString otherPath = dir.filePath("other.sqlite");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(otherPath.toUtf8().constData(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE t (x); INSERT INTO t VALUES (42);", nullptr, nullptr,
                 nullptr);
    sqlite3_close(other);
    const QString newerPath = dir.filePath("newer.sqlite");
    makeLibrary(newerPath, 3, true);
    sqlite3* newer = nullptr;
    sqlite3_open(newerPath.toUtf8().constData(), &newer);
    sqlite3_exec(newer, "PRAGMA user_version=99;", nullptr, nullptr, nullptr);
    sqlite3_close(newer);
    const QByteArray files[] = {contents(otherPath), contents(newerPath),
                                "these are my notes, not a database\n"};
    for (const QByteArray& bytes : files) {
        for (const Access access : {Access::Reading, Access::Writing}) {
            QFile::remove(path);
            writeFile(path, bytes);
            Library library(path, access);
            EXPECT_FALSE(library.isOpen());
            EXPECT_TRUE(library.notice().contains("leaves it as it is"))
                << library.notice().toStdString();
            EXPECT_EQ(contents(path), bytes) << "the file was changed";
            EXPECT_EQ(othersIn(dir.path(), {"library.sqlite", "other.sqlite", "newer.sqlite"}),
                      QStringList());
        }
    }

    // A folder of music, a pipe and a device stay what they are.
    QFile::remove(path);
    const QString music = dir.filePath("music");
    QDir().mkpath(music);
    writeFile(music + "/song.mp3", "ID3");
    const QString pipe = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(pipe.toUtf8().constData(), 0600), 0);
    // A null device of the test's own (as /dev/null is, but one no other program needs), where
    // the system lets it be made.
    QStringList places = {music, pipe};
    const QString device = dir.filePath("null");
    if (::mknod(device.toUtf8().constData(), S_IFCHR | 0666, makedev(1, 3)) == 0) places << device;
    for (const QString& place : places) {
        struct stat was {};
        ASSERT_EQ(::stat(place.toUtf8().constData(), &was), 0);
        for (const Access access : {Access::Reading, Access::Writing}) {
            Library library(place, access);
            EXPECT_FALSE(library.isOpen()) << place.toStdString();
            EXPECT_TRUE(library.notice().contains("leaves it as it is"))
                << library.notice().toStdString();
            SongStore store(place);
            EXPECT_FALSE(store.isOpen()) << place.toStdString();
        }
        struct stat is {};
        ASSERT_EQ(::stat(place.toUtf8().constData(), &is), 0) << place.toStdString();
        EXPECT_EQ(is.st_ino, was.st_ino) << place.toStdString();
        EXPECT_EQ(is.st_mode, was.st_mode) << place.toStdString();
    }
    EXPECT_EQ(QDir(music).entryList(QDir::Files), QStringList{"song.mp3"});
    EXPECT_EQ(othersIn(dir.path(), {"other.sqlite", "newer.sqlite", "music", "pipe", "null"}),
              QStringList());
}

TEST(Database, ADamagedDatabaseIsToldAndOnlyAWriterSetsItAsideNamingBothFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    makeLibrary(path, 3000);
    damage(path);
    const QByteArray damaged = contents(path);
    EXPECT_FALSE(databaseProblems(path).isEmpty());

    {
        Library library(path, Access::Reading);
        const bool told = !library.isOpen() ? library.notice().contains("is damaged")
                                            : (library.search(parseSearchQuery(""), 100000),
                                               library.readFailure().contains("is damaged"));
        EXPECT_TRUE(told) << library.notice().toStdString();
        EXPECT_TRUE(library.notice().isEmpty() || library.notice().contains("A scan"))
            << library.notice().toStdString();
    }
    EXPECT_EQ(contents(path), damaged);
    // SQLite's own journal files of the reading may stay beside it; nothing else.
    EXPECT_EQ(othersIn(dir.path(), {"library.sqlite", "library.sqlite-wal", "library.sqlite-shm"}),
              QStringList());

    SongStore store(path);
    ASSERT_TRUE(store.isOpen()) << store.notice().toStdString();
    QStringList aside = QDir(dir.path()).entryList({"library.sqlite.damaged-*"});
    aside = aside.filter(QRegularExpression("damaged-[0-9-]+$"));
    ASSERT_EQ(aside.size(), 1) << othersIn(dir.path(), {}).join(' ').toStdString();
    EXPECT_TRUE(store.notice().contains(path)) << store.notice().toStdString();
    EXPECT_TRUE(store.notice().contains(dir.filePath(aside[0]))) << store.notice().toStdString();
    EXPECT_EQ(contents(dir.filePath(aside[0])), damaged) << "the file set aside was changed";
    EXPECT_TRUE(store.setHotCue("/a.mp3", 1, 10));
    EXPECT_TRUE(databaseProblems(path).isEmpty());
}

}  // namespace
}  // namespace kelvra::library
