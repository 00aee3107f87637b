// kelvra-cli library as a DJ runs it, on real files and databases: scan, analyse, search and the
// history exports read back; a scan killed at random moments and one that runs out of disk, after
// which the database opens with everything it had committed.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <random>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "audio/AnalysisFixtures.h"
#include "library/HistoryExport.h"
#include "library/Library.h"
#include "library/SearchQuery.h"
#include "playlist/M3u.h"
#include "support/CliRun.h"
#include "support/FileBytes.h"
#include "support/LibrarySongs.h"
#include "support/SongFiles.h"

namespace kelvra::library {
namespace {

using test::contents;
using test::damage;

// The CLI with its analysis cache in `dir`, never the user's.
QProcessEnvironment isolated(const QTemporaryDir& dir) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    return environment;
}

void writeSongs(const QString& folder, int count) {
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(test::writeTaggedMp3(QString("%1/%2/song%3.mp3").arg(folder).arg(i % 17).arg(i),
                                         QString("Artist %1").arg(i % 50),
                                         QString("Title %1").arg(i), "Album", "House", i));
}

// What the database holds, checked whole: the pages and the text index.
std::int64_t checkedSongCount(const QString& path) {
    Library library(path);
    EXPECT_TRUE(library.isOpen());
    EXPECT_TRUE(library.notice().isEmpty()) << library.notice().toStdString();
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    EXPECT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO song_text (song_text) VALUES ('integrity-check')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    return library.songCount();
}

// The last "N stored" the scan reported before it ended.
std::int64_t lastReportedStored(const QString& err) {
    static const QRegularExpression stored(QStringLiteral("(\\d+) stored"));
    std::int64_t last = 0;
    for (auto match = stored.globalMatch(err); match.hasNext();)
        last = match.next().captured(1).toLongLong();
    return last;
}

TEST(LibraryCli, ScanThenSearchPrintsRowsWithTheKeyOnTheWheel) {
    QTemporaryDir dir;
    const QString db = dir.filePath("library.sqlite");
    ASSERT_TRUE(test::writeTaggedMp3(dir.filePath("music/a.mp3"), "Daft Punk", "Da Funk"));
    ASSERT_TRUE(test::writeTaggedMp3(dir.filePath("music/b.mp3"), "Björk", "Army of Me"));
    test::CliRun run =
        test::runCli({"library", "scan", dir.filePath("music"), "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("2 found, 2 added")) << run.err.toStdString();
    {
        Library library(db);  // the analysis the scan would have taken from the cache
        SongFacts facts;
        facts.path = dir.filePath("music/a.mp3");
        facts.artist = "Daft Punk";
        facts.title = "Da Funk";
        facts.bpm = 111.0;
        facts.key = 21;
        facts.seconds = 328.5;
        library.store(facts);
    }
    run = test::runCli({"library", "search", "daft", "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, dir.filePath("music/a.mp3") + "\tDaft Punk\tDa Funk\t111.00\t8A\t328\n");
    run = test::runCli({"library", "search", "--db", db, "BJORK", "army"}, isolated(dir));
    EXPECT_EQ(run.out, dir.filePath("music/b.mp3") + "\tBjörk\tArmy of Me\t-\t-\t0\n");
    run = test::runCli({"library", "search", "bpm:fast", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("bpm takes"));
    run = test::runCli({"library", "scan", dir.filePath("nowhere"), "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("is not a folder"));
}

// Scanned songs get their tempo and key from the analysis: found by a tempo search, each song
// tried once, whatever it came to: a second run has nothing to do, and a file that cannot be
// read or has no beat is not tried again. A scan asked to analyse takes what the cache holds.
TEST(LibraryCli, AnalyseGivesScannedSongsTheirTempoOnceEachAndMarksThoseWithout) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    ASSERT_TRUE(QDir().mkpath(music));
    for (const int bpm : {96, 124, 140})
        ASSERT_TRUE(test::writeWav(QString("%1/%2.wav").arg(music).arg(bpm).toStdString(),
                                   audio::testing::drumLoop({double(bpm), 0.5, 20, 44100}), 44100,
                                   2));
    ASSERT_TRUE(test::writeWav((music + "/tone.wav").toStdString(), test::sine(44100, 2, 10, 440),
                               44100, 2));
    ASSERT_TRUE(test::writeSongFile(music + "/broken.wav", QByteArray("RIFF\x10\0\0\0WAVEjunk", 16),
                                    3000, 1));
    ASSERT_EQ(test::runCli({"library", "scan", music, "--db", db}, isolated(dir)).exitCode, 0);
    const QString summary = "done: 5 songs, 3 with a tempo, 1 with no steady beat, 1 could not";
    test::CliRun run = test::runCli({"library", "analyse", "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(summary)) << run.err.toStdString();
    {
        Library library(db, Access::Reading);
        for (const int bpm : {96, 124, 140}) {
            const std::optional<SongRow> song =
                library.song(QString("%1/%2.wav").arg(music).arg(bpm));
            ASSERT_TRUE(song && song->bpm) << bpm;
            EXPECT_NEAR(*song->bpm, bpm, 1);
        }
        EXPECT_FALSE(library.song(music + "/tone.wav")->bpm);
    }
    run = test::runCli({"library", "search", "bpm:120-128", "--db", db}, isolated(dir));
    EXPECT_TRUE(run.out.startsWith(music + "/124.wav\t")) << run.out.toStdString();
    EXPECT_EQ(run.out.count(u'\n'), 1);
    run = test::runCli({"library", "analyse", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("done: 0 songs")) << run.err.toStdString();

    const QString again = dir.filePath("again.sqlite");
    run = test::runCli({"library", "scan", music, "--db", again, "--analyse"}, isolated(dir));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("done: 2 songs, 0 with a tempo, 1 with no steady beat"))
        << run.err.toStdString();
}

TEST(LibraryCli, HistoryIsToldIntoSetsByTwoHourGapsAndEachExportReadsBack) {
    QTemporaryDir dir;
    const QString db = dir.filePath("library.sqlite");
    const std::int64_t night = QDateTime(QDate(2024, 5, 3), QTime(22, 0)).toSecsSinceEpoch();
    const std::vector<std::pair<const char*, std::int64_t>> plays = {
        {"/m/one.mp3", night},
        {"/m/two, \"quoted\".mp3", night + 300},
        {"/m/one.mp3", night + 300 + 7200},  // exactly two hours: the same set
        {"/m/three.mp3", night + 86400},     // the next night
        {"/m/two, \"quoted\".mp3", night + 86400 + 245},
    };
    {
        Library library(db);
        for (const char* path : {"/m/one.mp3", "/m/two, \"quoted\".mp3", "/m/three.mp3"}) {
            SongFacts facts;
            facts.path = path;
            facts.artist = QString("Artist of %1").arg(path);
            facts.title = "Title";
            facts.seconds = 180.5;
            library.store(facts);
        }
        for (const auto& [path, when] : plays)
            library.addHeard(path, when);
        ASSERT_TRUE(library.writer().flush());
        const std::vector<HistorySet> sets = historySets(library.history());
        ASSERT_EQ(sets.size(), 2u);
        EXPECT_EQ(sets[0].songs.size(), 3u);
        EXPECT_EQ(sets[1].number, 2);
    }
    // M3U of the second set: its paths, in order, as the playlist and the Auto-DJ read them.
    test::CliRun run = test::runCli(
        {"library", "export-history", "--db", db, "--set", "2", "--format", "m3u"}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "/m/three.mp3\r\n/m/two, \"quoted\".mp3\r\n");
    EXPECT_EQ(playlist::readM3uLines(run.out.toUtf8()),
              (QStringList{"/m/three.mp3", "/m/two, \"quoted\".mp3"}));

    // CSV of everything: five rows whose fields (quoted where needed) give back each play.
    run = test::runCli({"library", "export-history", "--db", db, "--format", "csv"}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0);
    QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "set,heard,artist,title,seconds,path");
    for (std::size_t i = 0; i < plays.size(); ++i) {
        QStringList fields;
        const QString line = lines[qsizetype(i) + 1];
        QString field;
        bool quoted = false;
        for (qsizetype c = 0; c < line.size(); ++c) {
            if (quoted && line[c] == '"' && c + 1 < line.size() && line[c + 1] == '"') {
                field += '"';
                ++c;
            } else if (line[c] == '"') {
                quoted = !quoted;
            } else if (line[c] == ',' && !quoted) {
                fields << field;
                field.clear();
            } else {
                field += line[c];
            }
        }
        fields << field;
        ASSERT_EQ(fields.size(), 6) << line.toStdString();
        EXPECT_EQ(fields[0], i < 3 ? "1" : "2");
        EXPECT_EQ(QDateTime::fromString(fields[1], Qt::ISODate).toSecsSinceEpoch(),
                  plays[i].second);
        EXPECT_EQ(fields[5], plays[i].first);
        EXPECT_EQ(fields[4], "180.500");
    }

    // CUE of the first set: a track per play, its index the time since the set began.
    run = test::runCli({"library", "export-history", "--db", db, "--format", "cue", "--set", "1"},
                       isolated(dir));
    ASSERT_EQ(run.exitCode, 0);
    static const QRegularExpression index(QStringLiteral("INDEX 01 (\\d+):(\\d\\d):(\\d\\d)"));
    std::vector<std::int64_t> offsets;
    for (auto match = index.globalMatch(run.out); match.hasNext();) {
        const auto m = match.next();
        offsets.push_back(m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong());
    }
    EXPECT_EQ(offsets, (std::vector<std::int64_t>{0, 300, 7500}));
    EXPECT_EQ(run.out.count("TRACK"), 3);
    EXPECT_TRUE(run.out.contains("FILE \"Set 1.wav\" WAVE"));
    EXPECT_TRUE(run.out.contains("REM PATH \"/m/two, 'quoted'.mp3\""));

    run = test::runCli({"library", "export-history", "--db", db, "--set", "3"}, isolated(dir));
    EXPECT_EQ(run.exitCode, 1);
    run = test::runCli({"library", "export-history", "--db", db, "--format", "pls"}, isolated(dir));
    EXPECT_EQ(run.exitCode, 2);
}

TEST(LibraryCli, AScanKilledAtAnyMomentLeavesADatabaseWithEverythingItCommitted) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    constexpr int kSongs = 1500;
    writeSongs(music, kSongs);
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Thirty kills in every run of the suite; KELVRA_SCAN_KILLS asks for more (hundreds, for a
    // soak before a release).
    const int kKills = qEnvironmentVariableIsSet("KELVRA_SCAN_KILLS")
                           ? std::max(1, qEnvironmentVariableIntValue("KELVRA_SCAN_KILLS"))
                           : 30;
    std::int64_t before = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess scan;
        scan.setProcessEnvironment(isolated(dir));
        scan.start(KELVRA_CLI_PATH, {"library", "scan", music, "--db", db});
        ASSERT_TRUE(scan.waitForStarted());
        // From the first moments of start-up to well into the writing.
        const int delay = std::uniform_int_distribution<int>(0, 900)(random);
        if (!scan.waitForFinished(delay)) {
            scan.kill();  // SIGKILL: no chance to finish anything
            scan.waitForFinished();
        }
        const std::int64_t reported =
            lastReportedStored(QString::fromUtf8(scan.readAllStandardError()));
        const std::int64_t count = checkedSongCount(db);
        EXPECT_GE(count, reported) << "kill " << kill << " after " << delay << " ms";
        EXPECT_GE(count, before) << "kill " << kill;  // nothing committed is ever lost
        before = count;
        // Start over now and then, so most kills land in the middle of a scan.
        if (count == kSongs || kill % 8 == 7) {
            for (const QString suffix : {"", "-wal", "-shm"})
                QFile::remove(db + suffix);
            before = 0;
        }
    }
    test::CliRun run = test::runCli({"library", "scan", music, "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(checkedSongCount(db), kSongs);
}

TEST(LibraryCli, AScanThatRunsOutOfDiskStopsWithAMessageAndKeepsWhatItCommitted) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    writeSongs(music, 3000);
    // The file size limit stands in for a full disk: writes past it fail as they would.
    QProcess scan;
    scan.setProcessEnvironment(isolated(dir));
    scan.start("/bin/sh", {"-c", "ulimit -f 600; trap '' XFSZ; exec \"$0\" \"$@\"", KELVRA_CLI_PATH,
                           "library", "scan", music, "--db", db});
    ASSERT_TRUE(scan.waitForFinished(60000));
    const QString err = QString::fromUtf8(scan.readAllStandardError());
    EXPECT_EQ(scan.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression("the disk is full|the disk could not be written")))
        << err.toStdString();
    static const QRegularExpression kept(QStringLiteral("The (\\d+) songs stored before are kept"));
    const QRegularExpressionMatch match = kept.match(err);
    ASSERT_TRUE(match.hasMatch()) << err.toStdString();
    const std::int64_t stored = match.captured(1).toLongLong();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 3000);
    EXPECT_EQ(checkedSongCount(db), stored);
    // With room again, the scan goes on from there.
    test::CliRun run = test::runCli({"library", "scan", music, "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(checkedSongCount(db), 3000);
}

// kelvra-cli run by /bin/sh with `shell` before it (a limit, a redirection of its output).
struct ShellRun {
    bool crashed = true;
    int exitCode = -1;
    QString err;
};

ShellRun runShell(const QTemporaryDir& dir, const QString& shell, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(isolated(dir));
    process.start("/bin/sh",
                  QStringList{"-c", shell + "; exec \"$0\" \"$@\"", KELVRA_CLI_PATH} + args);
    ShellRun run;
    if (!process.waitForFinished(60000)) return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The names in `folder`, sorted: what a command may have left beside the database.
QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                                  QDir::Name);
}

TEST(LibraryCli, WhatIsNotOursIsRefusedByEveryCommandAndLeftAsItWas) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    ASSERT_TRUE(test::writeTaggedMp3(music + "/a.mp3", "Daft Punk", "Da Funk"));
    const QString places = dir.filePath("places");
    QDir().mkpath(places);
    const QString fifo = places + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    QStringList targets = {music, fifo};
    // A null device of the test's own, where the system lets one be made: /dev/null itself is
    // not put at stake.
    const QString device = places + "/null";
    if (::mknod(device.toUtf8().constData(), S_IFCHR | 0666, makedev(1, 3)) == 0) targets << device;
    const QString other = places + "/other.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes (text); INSERT INTO notes VALUES ('mine');", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    const QString newer = places + "/newer.sqlite";
    { Library made(newer); }
    ASSERT_EQ(sqlite3_open(newer.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA user_version=99;", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    targets << other << newer;

    const QStringList before = namesIn(places), musicBefore = namesIn(music);
    for (const QString& target : targets) {
        const QByteArray bytes = QFileInfo(target).isFile() ? contents(target) : QByteArray();
        for (const QStringList& command :
             {QStringList{"search", "daft"}, QStringList{"scan", music},
              QStringList{"export-history"}}) {
            test::CliRun run = test::runCli(
                QStringList{"library"} + command + QStringList{"--db", target}, isolated(dir));
            EXPECT_EQ(run.exitCode, 1) << target.toStdString() << " " << command[0].toStdString();
            EXPECT_TRUE(run.err.contains("leaves it as it is")) << run.err.toStdString();
            EXPECT_EQ(namesIn(places), before) << command[0].toStdString();
            EXPECT_EQ(namesIn(music), musicBefore) << command[0].toStdString();
            EXPECT_TRUE(QFileInfo(music).isDir());
            if (QFileInfo(target).isFile()) {
                EXPECT_EQ(contents(target), bytes);
            }
        }
    }
}

TEST(LibraryCli, ADatabaseInUseIsWaitedForAndNeverSetAside) {
    QTemporaryDir dir;
    const QString db = dir.filePath("library.sqlite");
    ASSERT_TRUE(test::writeTaggedMp3(dir.filePath("music/a.mp3"), "Daft Punk", "Da Funk"));
    ASSERT_EQ(test::runCli({"library", "scan", dir.filePath("music"), "--db", db}, isolated(dir))
                  .exitCode,
              0);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    test::CliRun run = test::runCli({"library", "search", "daft", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("in use by another program")) << run.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList({"library.sqlite.*"}), QStringList());
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    run = test::runCli({"library", "search", "daft", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count('\n'), 1) << run.out.toStdString();
}

TEST(LibraryCli, TwoScansOfANewDatabaseAtOnceBothLandInIt) {
    QTemporaryDir dir;
    writeSongs(dir.filePath("one"), 60);
    writeSongs(dir.filePath("two"), 60);
    for (int round = 0; round < 4; ++round) {
        const QString db = dir.filePath(QString("library%1.sqlite").arg(round));
        QProcess scans[2];
        for (int i = 0; i < 2; ++i) {
            scans[i].setProcessEnvironment(isolated(dir));
            scans[i].start(KELVRA_CLI_PATH,
                           {"library", "scan", dir.filePath(i ? "two" : "one"), "--db", db});
        }
        for (QProcess& scan : scans) {
            ASSERT_TRUE(scan.waitForFinished(60000));
            EXPECT_EQ(scan.exitCode(), 0)
                << round << ": " << scan.readAllStandardError().toStdString();
        }
        EXPECT_EQ(QDir(dir.path()).entryList({QFileInfo(db).fileName() + ".*"}), QStringList())
            << round;
        EXPECT_EQ(checkedSongCount(db), 120) << round;
    }
}

TEST(LibraryCli, AFileSizeLimitIsAFullDiskToldNotASignalAndAHealthyDatabaseStaysInPlace) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    writeSongs(music, 2000);
    // No trap here: the program must keep itself alive past the limit.
    ShellRun scan = runShell(dir, "ulimit -f 1000", {"library", "scan", music, "--db", db});
    ASSERT_FALSE(scan.crashed) << "ended by a signal";
    EXPECT_EQ(scan.exitCode, 1) << scan.err.toStdString();
    EXPECT_TRUE(
        scan.err.contains(QRegularExpression("the disk is full|the disk could not be "
                                             "written")))
        << scan.err.toStdString();
    const std::int64_t stored = checkedSongCount(db);
    EXPECT_GT(stored, 0);

    // A full disk when the database is opened: an error, and the database where it was.
    for (const char* command : {"scan", "search"}) {
        const QStringList args = QString(command) == "scan"
                                     ? QStringList{"library", "scan", music, "--db", db}
                                     : QStringList{"library", "search", "--db", db};
        ShellRun run = runShell(dir, "ulimit -f 0", args);
        ASSERT_FALSE(run.crashed) << command;
        EXPECT_FALSE(run.err.contains("kept as")) << run.err.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList({"library.sqlite.*"}), QStringList()) << command;
        EXPECT_EQ(checkedSongCount(db), stored) << command << ": " << run.err.toStdString();
    }
}

TEST(LibraryCli, LineBreaksAndControlBytesInNamesNeverSplitALine) {
    QTemporaryDir dir;
    const QString db = dir.filePath("library.sqlite");
    const QString odd = QString::fromUtf8(
        "/m/two\nlines\t\x01"
        "back\\slash.mp3");
    {
        Library library(db);
        for (const QString& path : {QStringLiteral("/m/plain.mp3"), odd}) {
            SongFacts facts;
            facts.path = path;
            facts.artist = "Tab\tArtist";
            facts.title = "Song";
            library.store(facts);
            library.addHeard(path, 1700000000);
        }
    }
    test::CliRun run = test::runCli({"library", "search", "song", "--db", db}, isolated(dir));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    for (const QString& line : lines)
        EXPECT_EQ(line.count('\t'), 5) << line.toStdString();
    EXPECT_TRUE(run.out.contains("/m/two\\nlines\\t\\x01back\\\\slash.mp3\tTab\\tArtist\t"))
        << run.out.toStdString();

    run = test::runCli({"library", "export-history", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "/m/plain.mp3\r\n");
    EXPECT_TRUE(run.err.contains("left out")) << run.err.toStdString();
}

// kelvra-cli as a user whom file permissions bind: the test's own user, or nobody when the tests
// run as root (whom no permission keeps out of a folder).
ShellRun runBound(const QTemporaryDir& dir, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(isolated(dir));
    if (::geteuid() == 0)
        process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                             KELVRA_CLI_PATH} +
                                     args);
    else
        process.start(KELVRA_CLI_PATH, args);
    ShellRun run;
    if (!process.waitForFinished(60000)) return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(LibraryCli, AFolderThatCannotBeReadIsToldAndItsSongsAreKept) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    ASSERT_TRUE(test::writeTaggedMp3(music + "/open/a.mp3", "Open", "A"));
    ASSERT_TRUE(test::writeTaggedMp3(music + "/locked/b.mp3", "Locked", "B"));
    ASSERT_TRUE(test::writeTaggedMp3(music + "/locked/deeper/c.mp3", "Locked", "C"));
    ASSERT_EQ(std::system(QString("chmod -R a+rwX '%1'").arg(dir.path()).toUtf8().constData()), 0);
    ShellRun run = runBound(dir, {"library", "scan", music, "--db", db});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    ASSERT_EQ(::chmod((music + "/locked").toUtf8().constData(), 0), 0);
    run = runBound(dir, {"library", "scan", music, "--db", db});
    ::chmod((music + "/locked").toUtf8().constData(), 0755);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(music + "/locked")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("kept")) << run.err.toStdString();
    Library library(db, Access::Reading);
    EXPECT_EQ(library.search(parseSearchQuery("locked")).size(), 2u) << "marked missing";
}

TEST(LibraryCli, OutputThatCannotBeWrittenFailsTheCommand) {
    QTemporaryDir dir;
    const QString db = dir.filePath("library.sqlite");
    ASSERT_TRUE(test::writeTaggedMp3(dir.filePath("music/a.mp3"), "Daft Punk", "Da Funk"));
    ASSERT_EQ(test::runCli({"library", "scan", dir.filePath("music"), "--db", db}, isolated(dir))
                  .exitCode,
              0);
    {
        Library library(db);
        library.addHeard(dir.filePath("music/a.mp3"), 1700000000);
    }
    for (const QStringList& args : {QStringList{"library", "search", "daft", "--db", db},
                                    QStringList{"library", "export-history", "--db", db}}) {
        ShellRun run = runShell(dir, "exec >/dev/full", args);
        ASSERT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("the disk is full")) << run.err.toStdString();
    }
}

TEST(LibraryCli, ADamagedDatabaseIsToldByEveryCommandAndSetAsideOnlyByAScan) {
    QTemporaryDir dir;
    const QString music = dir.filePath("music");
    const QString db = dir.filePath("library.sqlite");
    writeSongs(music, 1500);
    ASSERT_EQ(test::runCli({"library", "scan", music, "--db", db}, isolated(dir)).exitCode, 0);
    test::CliRun run = test::runCli({"library", "check", "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    damage(db);
    const QByteArray damaged = contents(db);

    // A search reads the songs and finds the damage; the check reads everything.
    for (const QStringList& args : {QStringList{"library", "search", "--db", db},
                                    QStringList{"library", "search", "title", "--db", db},
                                    QStringList{"library", "check", "--db", db}}) {
        run = test::runCli(args, isolated(dir));
        EXPECT_EQ(run.exitCode, 1)
            << args.join(' ').toStdString() << ": " << run.out.count('\n') << " rows";
        EXPECT_TRUE(run.err.contains("damaged")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("scan")) << run.err.toStdString();
        EXPECT_EQ(contents(db), damaged) << args.join(' ').toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList({"library.sqlite.*"}), QStringList());
    }

    run = test::runCli({"library", "scan", music, "--db", db}, isolated(dir));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList aside = QDir(dir.path())
                                  .entryList({"library.sqlite.damaged-*"})
                                  .filter(QRegularExpression("damaged-[0-9-]+$"));
    ASSERT_EQ(aside.size(), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(db)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(dir.filePath(aside[0]))) << run.err.toStdString();
    EXPECT_EQ(contents(dir.filePath(aside[0])), damaged);
    EXPECT_EQ(checkedSongCount(db), 1500);
}

}  // namespace
}  // namespace kelvra::library
