// The analysis cache and the background analyser: a song is analysed once, a changed file is
// analysed again, a damaged entry is a miss, and newer requests for a deck win.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <thread>

#include "audio/AnalysisFixtures.h"
#include "audio/analysis/AnalysisCache.h"
#include "audio/analysis/BackgroundAnalyser.h"
#include "support/FileBytes.h"
#include "support/FullDisk.h"

namespace kelvra::audio::testing {
namespace {

using analysis::AnalysisCache;
using analysis::AnalysisSnapshot;
using analysis::BackgroundAnalyser;
using analysis::SongAnalysis;

struct CacheFixture {
    QTemporaryDir dir;
    AnalysisCache cache{dir.filePath("cache")};
    std::string song(const char* name, double bpm, double seconds = 20) const {
        const std::string path = dir.filePath(name).toStdString();
        test::writeWav(path, drumLoop({bpm, 0, seconds, 44100}), 44100, 2);
        return path;
    }
};

SongAnalysis made(double bpm) {
    SongAnalysis a;
    a.bpm = bpm;
    a.firstBeatSeconds = 0.25;
    a.lufs = -9.5;
    a.samplePeakDbfs = -0.3;
    a.truePeakDbfs = 0.1;
    a.seconds = 181.5;
    a.tempoChanges = true;  // not the default, so a lost flag shows
    a.waveform.rate = 44100;
    a.waveform.blockFrames = 441;
    for (int i = 0; i < 500; ++i)
        a.waveform.blocks.push_back(
            {{std::uint8_t(i), std::uint8_t(i * 3), std::uint8_t(i * 7)},
             {std::uint8_t(i / 2), std::uint8_t(i), std::uint8_t(255 - i % 256)}});
    return a;
}

void bumpModificationTime(const std::string& path) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(10),
                                 QFileDevice::FileModificationTime));
}

TEST(AnalysisCache, KeepsAnEntryUntilTheFileChanges) {
    CacheFixture f;
    const std::string song = f.song("a.wav", 120, 2);
    EXPECT_FALSE(f.cache.load(song));
    ASSERT_TRUE(f.cache.store(song, made(123.4)));
    const AnalysisSnapshot back = f.cache.load(song);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, made(123.4));
    // Another file of its own entry; a newer modification time or another size misses.
    EXPECT_FALSE(f.cache.load(f.song("b.wav", 120, 2)));
    bumpModificationTime(song);
    EXPECT_FALSE(f.cache.load(song));
    ASSERT_TRUE(f.cache.store(song, made(99)));
    test::writeWav(song, drumLoop({120, 0, 3, 44100}), 44100, 2);
    EXPECT_FALSE(f.cache.load(song));
    EXPECT_FALSE(f.cache.load(f.dir.filePath("missing.wav").toStdString()));
}

// A full disk: the entry that is there stays whole and is still found, and the failure names the
// entry and the disk's reason.
TEST(AnalysisCache, AFullDiskKeepsTheOlderEntryAndSaysWhy) {
    CacheFixture f;
    const std::string song = f.song("a.wav", 120, 2);
    ASSERT_TRUE(f.cache.store(song, made(128)));
    const QString name = QFileInfo(f.cache.entryPath(song)).fileName();
    const QByteArray older = test::contents(f.cache.entryPath(song));
    const test::FullDisk disk({{name, older}});
    if (!disk.mounted()) GTEST_SKIP() << disk.skipReason();
    const AnalysisCache full(disk.folder());
    QString error;
    EXPECT_FALSE(full.store(song, made(99), &error));
    EXPECT_EQ(error, "cannot write " + disk.path(name) + ": No space left on device");
    EXPECT_EQ(test::contents(disk.path(name)), older);
    EXPECT_EQ(disk.files(), QStringList{name});
    ASSERT_TRUE(full.load(song));
    EXPECT_EQ(*full.load(song), made(128));
}

TEST(AnalysisCache, DamagedEntriesAreMisses) {
    CacheFixture f;
    const std::string song = f.song("a.wav", 120, 2);
    ASSERT_TRUE(f.cache.store(song, made(128)));
    QFile entry(f.cache.entryPath(song));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray good = entry.readAll();
    entry.close();
    auto rewrite = [&](const QByteArray& bytes) {
        QFile out(f.cache.entryPath(song));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    };
    // Every truncation, and a flipped bit at a spread of places, is a miss and never a crash.
    for (qsizetype size = 0; size < good.size(); size += size < 64 ? 1 : 97) {
        rewrite(good.left(size));
        EXPECT_FALSE(f.cache.load(song)) << "truncated to " << size;
    }
    for (qsizetype at = 0; at < good.size(); at += 37) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ 0x10);
        rewrite(bad);
        EXPECT_FALSE(f.cache.load(song)) << "bit flipped at " << at;
    }
    rewrite(QByteArray(100000, '\xff'));
    EXPECT_FALSE(f.cache.load(song));
    rewrite(good);
    EXPECT_TRUE(f.cache.load(song));
}

// An entry that is a FIFO would block the read, one that links to /dev/zero would never end:
// both are misses, at once, and the song is analysed and stored again over them.
TEST(AnalysisCache, AnEntryThatIsNoRegularFileIsAMiss) {
    CacheFixture f;
    const std::string song = f.song("a.wav", 120, 2);
    ASSERT_TRUE(QDir().mkpath(f.dir.filePath("cache")));
    const QString entry = f.cache.entryPath(song);
    for (const char* kind : {"fifo", "zero"}) {
        SCOPED_TRACE(kind);
        QFile::remove(entry);
        if (std::string_view(kind) == "fifo")
            ASSERT_EQ(mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link("/dev/zero", entry));
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(f.cache.load(song));
        const AnalysisSnapshot analysed =
            analysis::analyseCached(f.cache, QString::fromStdString(song));
        ASSERT_TRUE(analysed);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(f.cache.load(song));
    }
}

// Two names that differ only in bytes that are not UTF-8 are two songs; a song rewritten with
// its old size and modification time put back, or replaced by another file, is analysed again.
TEST(AnalysisCache, AnEntryBelongsToThePathsBytesAndTheFileAsItIs) {
    CacheFixture f;
    // Made from bytes: a QString on the way would turn the stray byte into U+FFFD itself.
    const std::string invalid = f.dir.path().toStdString() + "/song_\xff.wav";
    const std::string replacement = f.dir.path().toStdString() + "/song_\xef\xbf\xbd.wav";
    for (const std::string& path : {invalid, replacement})
        ASSERT_TRUE(test::writeWav(path, drumLoop({120, 0, 2, 44100}), 44100, 2));
    ASSERT_TRUE(f.cache.store(invalid, made(128)));
    EXPECT_FALSE(f.cache.load(replacement));
    ASSERT_TRUE(f.cache.store(replacement, made(90)));
    EXPECT_NE(f.cache.entryPath(invalid), f.cache.entryPath(replacement));
    ASSERT_TRUE(f.cache.load(invalid));
    EXPECT_EQ(f.cache.load(invalid)->bpm, 128);
    EXPECT_EQ(f.cache.load(replacement)->bpm, 90);

    const std::string song = f.song("a.wav", 120, 2);
    ASSERT_TRUE(f.cache.store(song, made(128)));
    struct stat before {};
    ASSERT_EQ(::stat(song.c_str(), &before), 0);
    {
        std::fstream rewrite(song, std::ios::in | std::ios::out | std::ios::binary);
        rewrite.seekp(1000);
        rewrite.write("changed", 7);
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, song.c_str(), times, 0), 0);
    EXPECT_FALSE(f.cache.load(song));

    ASSERT_TRUE(f.cache.store(song, made(128)));
    ASSERT_TRUE(f.cache.load(song));
    struct stat now {};
    ASSERT_EQ(::stat(song.c_str(), &now), 0);
    const std::string other = f.song("b.wav", 120, 2);
    const timespec same[2] = {now.st_atim, now.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), same, 0), 0);
    ASSERT_EQ(std::rename(other.c_str(), song.c_str()), 0);
    EXPECT_FALSE(f.cache.load(song));
}

// Over its limit the cache drops the entries used least recently; the one just stored stays.
TEST(AnalysisCache, KeepsUnderItsSizeLimitDroppingTheLeastRecentlyUsed) {
    CacheFixture f;
    const std::string a = f.song("a.wav", 120, 1), b = f.song("b.wav", 120, 1),
                      c = f.song("c.wav", 120, 1);
    ASSERT_TRUE(f.cache.store(a, made(100)));
    const qint64 entrySize = QFileInfo(f.cache.entryPath(a)).size();
    f.cache.setSizeLimit(entrySize * 5 / 2);
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    pause();
    ASSERT_TRUE(f.cache.store(b, made(110)));
    pause();
    ASSERT_TRUE(f.cache.load(a));  // a is now used more recently than b
    pause();
    ASSERT_TRUE(f.cache.store(c, made(120)));
    EXPECT_TRUE(f.cache.load(a));
    EXPECT_FALSE(f.cache.load(b));
    EXPECT_TRUE(f.cache.load(c));

    // A copy shares the limit; a limit below one entry keeps only the newest.
    const AnalysisCache copy = f.cache;
    copy.setSizeLimit(1);
    EXPECT_EQ(f.cache.sizeLimit(), 1);
    pause();
    ASSERT_TRUE(f.cache.store(b, made(110)));
    EXPECT_TRUE(f.cache.load(b));
    EXPECT_FALSE(f.cache.load(a));
    EXPECT_FALSE(f.cache.load(c));
    EXPECT_EQ(AnalysisCache(f.dir.filePath("x")).sizeLimit(), 1ll << 30);
}

AnalysisSnapshot waitForResult(QSignalSpy& spy, int count = 1) {
    QElapsedTimer timer;
    timer.start();
    while (spy.count() < count && timer.elapsed() < 60000)
        spy.wait(200);
    if (spy.count() < count) return nullptr;
    return spy.at(count - 1).at(2).value<AnalysisSnapshot>();
}

TEST(BackgroundAnalyser, AnalysesOnceThenReadsTheCacheUntilTheFileChanges) {
    CacheFixture f;
    const std::string song = f.song("loop.wav", 128);
    BackgroundAnalyser analyser(f.cache);
    QSignalSpy spy(&analyser, &BackgroundAnalyser::analysed);
    analyser.requestAnalysis(Side::Right, QString::fromStdString(song));
    const AnalysisSnapshot first = waitForResult(spy);
    ASSERT_TRUE(first);
    EXPECT_NEAR(first->bpm, 128, 0.05);
    EXPECT_EQ(spy.at(0).at(0).value<Side>(), Side::Right);
    ASSERT_TRUE(f.cache.load(song));

    // A planted entry proves the second load reads the cache instead of the song.
    ASSERT_TRUE(f.cache.store(song, made(77)));
    analyser.requestAnalysis(Side::Left, QString::fromStdString(song));
    const AnalysisSnapshot second = waitForResult(spy, 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bpm, 77);

    bumpModificationTime(song);
    analyser.requestAnalysis(Side::Left, QString::fromStdString(song));
    const AnalysisSnapshot third = waitForResult(spy, 3);
    ASSERT_TRUE(third);
    EXPECT_NEAR(third->bpm, 128, 0.05);
}

TEST(BackgroundAnalyser, ANewerRequestForADeckSupersedesTheOlder) {
    CacheFixture f;
    const std::string slow = f.song("slow.wav", 100, 60);
    const std::string fast = f.song("fast.wav", 140);
    const std::string other = f.song("other.wav", 120);
    BackgroundAnalyser analyser(f.cache);
    QSignalSpy spy(&analyser, &BackgroundAnalyser::analysed);
    analyser.requestAnalysis(Side::Left, QString::fromStdString(slow));
    analyser.requestAnalysis(Side::Right, QString::fromStdString(other));
    analyser.requestAnalysis(Side::Left, QString::fromStdString(fast));
    ASSERT_TRUE(waitForResult(spy, 2));
    QTest::qWait(300);
    ASSERT_EQ(spy.count(), 2);
    for (const auto& signal : spy) {
        const auto result = signal.at(2).value<AnalysisSnapshot>();
        ASSERT_TRUE(result);
        if (signal.at(0).value<Side>() == Side::Left) {
            EXPECT_EQ(signal.at(1).toString().toStdString(), fast);
            EXPECT_NEAR(result->bpm, 140, 0.05);
        } else {
            EXPECT_NEAR(result->bpm, 120, 0.05);
        }
    }
    // A file that cannot be read still answers, with no result.
    analyser.requestAnalysis(Side::Left, f.dir.filePath("missing.wav"));
    spy.clear();
    QElapsedTimer timer;
    timer.start();
    while (spy.isEmpty() && timer.elapsed() < 10000)
        spy.wait(100);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(2).value<AnalysisSnapshot>());
}

TEST(BackgroundAnalyser, PlaylistSongsFillTheCacheAndADeckGoesFirst) {
    CacheFixture f;
    const std::string a = f.song("a.wav", 100, 60), b = f.song("b.wav", 128);
    const std::string deck = f.song("deck.wav", 140);
    BackgroundAnalyser analyser(f.cache);
    QSignalSpy spy(&analyser, &BackgroundAnalyser::analysed);
    QSignalSpy warmed(&analyser, &BackgroundAnalyser::warmed);
    analyser.warmCache(
        {QString::fromStdString(a), QString::fromStdString(b), f.dir.filePath("missing.wav")});
    // A deck's load in the middle of the long first song is answered before the playlist's.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    analyser.requestAnalysis(Side::Right, QString::fromStdString(deck));
    ASSERT_TRUE(waitForResult(spy));
    EXPECT_NEAR(spy.at(0).at(2).value<AnalysisSnapshot>()->bpm, 140, 0.05);
    EXPECT_FALSE(f.cache.load(b));

    QElapsedTimer timer;
    timer.start();
    while (analyser.warmingCount() > 0 && timer.elapsed() < 60000)
        QTest::qWait(50);
    EXPECT_EQ(analyser.warmingCount(), 0);  // a missing file is given up, not retried for ever
    const AnalysisSnapshot first = f.cache.load(a), second = f.cache.load(b);
    ASSERT_TRUE(first);  // taken up again after the deck's song
    ASSERT_TRUE(second);
    EXPECT_NEAR(first->bpm, 100, 0.05);
    EXPECT_NEAR(second->bpm, 128, 0.05);
    EXPECT_EQ(spy.count(), 1);  // the playlist's songs are not delivered to any deck
    // ...but to the playlist, once each, the interrupted one too; the missing file is not.
    QTest::qWait(50);
    ASSERT_EQ(warmed.count(), 2);
    EXPECT_EQ(warmed.at(0).at(0).toString().toStdString(), a);
    EXPECT_NEAR(warmed.at(1).at(1).value<AnalysisSnapshot>()->bpm, 128, 0.05);
}

// The library's songs come last: a deck's request and the playlist's songs are both served
// before the library's song they interrupt, which is then taken up again; every library song
// comes back, one that cannot be read too.
TEST(BackgroundAnalyser, LibrarySongsYieldToADeckAndToThePlaylist) {
    CacheFixture f;
    const QString library = QString::fromStdString(f.song("library.wav", 100, 60));
    const QString later = QString::fromStdString(f.song("later.wav", 110));
    const QString deck = QString::fromStdString(f.song("deck.wav", 140));
    const QString listed = QString::fromStdString(f.song("listed.wav", 128));
    const QString missing = f.dir.filePath("missing.wav");
    BackgroundAnalyser analyser(f.cache);
    std::vector<std::pair<QString, AnalysisSnapshot>> done;
    QObject::connect(&analyser, &BackgroundAnalyser::analysed,
                     [&done](Side, const QString& path, AnalysisSnapshot result) {
                         done.emplace_back(path, result);
                     });
    for (auto signal : {&BackgroundAnalyser::warmed, &BackgroundAnalyser::idleAnalysed})
        QObject::connect(&analyser, signal, [&done](const QString& path, AnalysisSnapshot result) {
            done.emplace_back(path, result);
        });
    analyser.analyseWhenIdle({library, later, missing});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    analyser.requestAnalysis(Side::Left, deck);
    analyser.warmCache({listed});
    QElapsedTimer timer;
    timer.start();
    while (done.size() < 5 && timer.elapsed() < 60000)
        QTest::qWait(50);
    EXPECT_EQ(analyser.idleCount(), 0);
    ASSERT_EQ(done.size(), 5u);
    std::vector<std::string> order;
    for (const auto& [path, result] : done)
        order.push_back(QFileInfo(path).fileName().toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"deck.wav", "listed.wav", "library.wav", "later.wav",
                                               "missing.wav"}));
    ASSERT_TRUE(done[2].second);
    EXPECT_NEAR(done[2].second->bpm, 100, 0.05);
    EXPECT_TRUE(f.cache.load(later.toStdString()));
    EXPECT_FALSE(done[4].second);
}

TEST(BackgroundAnalyser, ShutsDownPromptlyInTheMiddleOfAnAnalysis) {
    CacheFixture f;
    const std::string song = f.song("long.wav", 120, 120);
    QElapsedTimer timer;
    {
        BackgroundAnalyser analyser(f.cache);
        analyser.requestAnalysis(Side::Left, QString::fromStdString(song));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_FALSE(f.cache.load(song));  // a stopped analysis leaves nothing behind
}

}  // namespace
}  // namespace kelvra::audio::testing
