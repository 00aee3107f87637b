// Watching real folders while the program runs: songs added, retagged, moved, deleted and put
// back are taken in without a scan being asked for, a file still being written is read only once
// it stands still, and the watched folders outlive the program. The quiet spells run on a virtual
// clock; only the file system's news and the watcher's thread take real time.
#include "library/FolderWatcher.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "audio/AudioLibrary.h"
#include "audio/CreateAudioLibrary.h"
#include "core/VirtualClock.h"
#include "library/Library.h"
#include "library/SearchQuery.h"
#include "library/SongStore.h"
#include "support/SongFiles.h"

namespace kelvra::library {
namespace {

std::vector<QString> listed(const Library& library, const QString& text) {
    std::vector<QString> paths;
    for (const SongRow& song : library.search(parseSearchQuery(text)))
        paths.push_back(song.path);
    return paths;
}

// Gives `path` a modification time `seconds` from now: a time in the future keeps a file
// looking freshly written, whatever the machine's speed, until it is seen twice the same.
bool setTime(const QString& path, int seconds) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTime().addSecs(seconds),
                            QFileDevice::FileModificationTime);
}

class Watching : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(root()));
        open();
    }
    void open() {
        changed_.reset();
        done_.reset();
        noticed_.reset();
        watcher_.reset();
        library_.reset();
        library_ = std::make_unique<Library>(dir_.filePath("library.sqlite"));
        ASSERT_TRUE(library_->isOpen()) << library_->notice().toStdString();
        watcher_ = std::make_unique<FolderWatcher>(*library_, clock_, audio::createAudioLibrary(),
                                                   nullptr);
        noticed_ = std::make_unique<QSignalSpy>(watcher_.get(), &FolderWatcher::changeNoticed);
        done_ = std::make_unique<QSignalSpy>(watcher_.get(), &FolderWatcher::batchDone);
        changed_ = std::make_unique<QSignalSpy>(watcher_.get(), &FolderWatcher::libraryChanged);
    }
    QString root() const { return dir_.filePath("music"); }
    QString music(const QString& name) const { return root() + '/' + name; }

    // One look at what changed: waits for the file system's news unless something already
    // waits, lets the quiet spell pass and waits for the scan.
    bool look() {
        if (watcher_->idle() && !noticed_->wait(5000)) return false;
        clock_.advance(FolderWatcher::kQuietMs);
        return watcher_->idle() || done_->wait(5000);
    }
    // Looks until `done` holds and the watcher has nothing left to do (so the watch of what it
    // found is in place before the next change).
    bool until(const std::function<bool()>& done) {
        for (int i = 0; i < 10; ++i) {
            if (done() && watcher_->idle()) return true;
            if (!look()) break;
        }
        return done() && watcher_->idle();
    }

    QTemporaryDir dir_;
    VirtualClock clock_;
    std::unique_ptr<Library> library_;
    std::unique_ptr<FolderWatcher> watcher_;
    std::unique_ptr<QSignalSpy> noticed_, done_, changed_;
};

TEST_F(Watching, ASongAddedRetaggedMovedDeletedAndPutBackIsTakenInWhileItRuns) {
    ASSERT_TRUE(watcher_->addFolder(root()));
    ASSERT_TRUE(until([&] { return done_->count() > 0; }));  // the first scan, of nothing

    ASSERT_TRUE(test::writeTaggedMp3(music("new.mp3"), "First Artist", "Opener", {}, {}, 1));
    ASSERT_TRUE(until([&] { return !listed(*library_, "opener").empty(); }));
    EXPECT_GT(changed_->count(), 0);
    const SongRow added = *library_->song(music("new.mp3"));
    library_->addHeard(music("new.mp3"), 1000);
    ASSERT_TRUE(library_->writer().flush());
    ASSERT_TRUE(SongStore(dir_.filePath("library.sqlite")).setHotCue(music("new.mp3"), 2, 4321));

    // Retagged in place: no folder changes, the file's own watch tells.
    ASSERT_TRUE(test::writeTaggedMp3(music("new.mp3"), "Second Artist", "Closer", {}, {}, 1));
    ASSERT_TRUE(until([&] { return !listed(*library_, "closer").empty(); }));
    EXPECT_TRUE(listed(*library_, "opener").empty());
    EXPECT_EQ(library_->song(music("new.mp3"))->artist, "Second Artist");

    // A folder made while watching is watched in its turn, however deep.
    ASSERT_TRUE(QDir().mkpath(music("later/deeper")));
    ASSERT_TRUE(look());
    ASSERT_TRUE(test::writeTaggedMp3(music("later/deeper/other.mp3"), "Deep", "Down", {}, {}, 2));
    ASSERT_TRUE(until([&] { return !listed(*library_, "deep").empty(); }));

    // Moved into it under another name: the same row.
    ASSERT_TRUE(QFile::rename(music("new.mp3"), music("later/deeper/moved.mp3")));
    ASSERT_TRUE(until([&] {
        return listed(*library_, "closer") == std::vector<QString>{music("later/deeper/moved.mp3")};
    }));
    const SongRow moved = *library_->song(music("later/deeper/moved.mp3"));
    EXPECT_EQ(moved.id, added.id);
    EXPECT_EQ(moved.playCount, 1);
    EXPECT_FALSE(library_->song(music("new.mp3")));
    EXPECT_EQ(SongStore(dir_.filePath("library.sqlite")).hotCues(moved.path)[2], 4321);

    // Deleted: no longer listed, but the row and its history stay.
    const QString aside = dir_.filePath("aside.mp3");
    ASSERT_TRUE(QFile::copy(moved.path, aside));
    ASSERT_TRUE(QFile::remove(moved.path));
    ASSERT_TRUE(until([&] { return listed(*library_, "closer").empty(); }));
    const SongRow gone = *library_->song(moved.path);
    EXPECT_EQ(gone.id, added.id);
    EXPECT_TRUE(gone.missingSince);
    ASSERT_EQ(library_->history().size(), 1u);
    EXPECT_EQ(library_->history().front().path, moved.path);

    // Put back in the folder it was deleted from: listed again, cues and history kept.
    ASSERT_TRUE(QFile::rename(aside, moved.path));
    ASSERT_TRUE(until([&] { return !listed(*library_, "closer").empty(); }));
    const SongRow back = *library_->song(moved.path);
    EXPECT_EQ(back.id, added.id);
    EXPECT_FALSE(back.missingSince);
    EXPECT_EQ(back.playCount, 1);
    EXPECT_EQ(SongStore(dir_.filePath("library.sqlite")).hotCues(back.path)[2], 4321);
    EXPECT_EQ(library_->songCount(), 2);
}

TEST_F(Watching, AFileStillBeingWrittenIsReadOnlyOnceItStandsStill) {
    ASSERT_TRUE(watcher_->addFolder(root()));
    ASSERT_TRUE(until([&] { return done_->count() > 0; }));
    const QString whole = dir_.filePath("whole.mp3");
    ASSERT_TRUE(test::writeTaggedMp3(whole, "Slow Copy", "Arrives Late", {}, {}, 5));
    QFile source(whole);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    // The first bytes of the copy: too few for a tag.
    const QString copy = music("copy.mp3");
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.left(12));
    }
    ASSERT_TRUE(setTime(copy, 100));
    const int before = int(done_->count());
    ASSERT_TRUE(look());
    ASSERT_GT(done_->count(), before);
    EXPECT_FALSE(library_->song(copy));

    // More came in since that look: it waits once more.
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(bytes.mid(12));
    }
    ASSERT_TRUE(setTime(copy, 200));
    const int second = int(done_->count());
    ASSERT_TRUE(look());
    ASSERT_GT(done_->count(), second);
    EXPECT_FALSE(library_->song(copy));

    // The same at the next look: complete, read whole.
    ASSERT_TRUE(until([&] { return library_->song(copy).has_value(); }));
    EXPECT_EQ(library_->song(copy)->title, "Arrives Late");
    EXPECT_EQ(listed(*library_, "slow copy"), std::vector<QString>{copy});
}

TEST_F(Watching, WatchedFoldersAreRememberedAndWhatChangedWhileClosedIsTakenInAtStart) {
    ASSERT_TRUE(test::writeTaggedMp3(music("a/stays.mp3"), "Stayer", "Stays", {}, {}, 1));
    ASSERT_TRUE(test::writeTaggedMp3(music("a/leaves.mp3"), "Leaver", "Leaves", {}, {}, 2));
    ASSERT_TRUE(watcher_->addFolder(root()));
    ASSERT_TRUE(watcher_->addFolder(music("a/../")));  // the same folder, named oddly
    ASSERT_TRUE(watcher_->addFolder(music("a")));
    ASSERT_TRUE(until([&] { return library_->songCount() == 2; }));
    ASSERT_TRUE(library_->writer().flush());
    EXPECT_EQ(library_->watchedFolders(), (std::vector<QString>{root(), music("a")}));
    ASSERT_TRUE(watcher_->removeFolder(music("a")));
    ASSERT_TRUE(library_->writer().flush());
    EXPECT_EQ(library_->watchedFolders(), std::vector<QString>{root()});

    watcher_.reset();
    ASSERT_TRUE(QFile::remove(music("a/leaves.mp3")));
    ASSERT_TRUE(test::writeTaggedMp3(music("b/arrives.mp3"), "Arriver", "Arrives", {}, {}, 3));
    open();
    watcher_->start();
    ASSERT_TRUE(until([&] {
        return !listed(*library_, "arriver").empty() && listed(*library_, "leaver").empty();
    }));
    EXPECT_TRUE(library_->song(music("a/leaves.mp3"))->missingSince);
    EXPECT_EQ(listed(*library_, "stayer"), std::vector<QString>{music("a/stays.mp3")});

    // And it watches again: a song added now comes in too.
    ASSERT_TRUE(test::writeTaggedMp3(music("b/later.mp3"), "Latecomer", "Later", {}, {}, 4));
    ASSERT_TRUE(until([&] { return !listed(*library_, "latecomer").empty(); }));
}

}  // namespace
}  // namespace kelvra::library
