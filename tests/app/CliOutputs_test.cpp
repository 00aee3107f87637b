// kelvra-cli's output files, WAV, cue sheet and trace: each appears whole or not at all, and a
// run that could not write one says so and fails.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/FileBytes.h"
#include "support/FullDisk.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

using test::CliRun;
using test::runCli;

class CliOutputs : public ::testing::Test {
  protected:
    CliOutputs() {
        song = dir.filePath("song.wav");
        EXPECT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 3, 440), kRate, 2));
        list = dir.filePath("set.m3u");
        test::writeFile(list, song.toUtf8() + "\r\n");
        session = dir.filePath("play.txt");
        test::writeFile(session, "0.5 load left " + song.toUtf8() + "\n1 click playCB2\n");
    }
    QTemporaryDir dir;
    QString song, list, session;
};

TEST_F(CliOutputs, AbsurdNumbersAreRefusedByNameAndWriteNothing) {
    const QString out = dir.filePath("out.wav");
    for (const QStringList& words :
         {QStringList{"render", song, "--out", out, "--seconds", "1e300"},
          {"render", song, "--out", out, "--seconds", "inf"},
          {"render", song, "--out", out, "--seconds", "nan"},
          {"render", song, "--out", out, "--rate", "99999999999"},
          {"automix", list, "--out", out, "--seconds", "-1"},
          {"session", session, "--out", out, "--seconds", "1e300"}}) {
        const CliRun run = runCli(words);
        EXPECT_EQ(run.exitCode, 2) << words.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(words[4] + " takes a number from")) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(CliOutputs, AMixThatPlaysNothingLeavesNoFile) {
    test::writeFile(list,
                    dir.filePath("gone.mp3").toUtf8() + "\r\n" + dir.filePath("away.mp3").toUtf8());
    const CliRun run = runCli({"automix", list, "--out", dir.filePath("mix.wav"), "--cue-sheet",
                               dir.filePath("mix.cue")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("none of the songs in " + list + " could be played"))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("mix.wav")));
    EXPECT_FALSE(QFile::exists(dir.filePath("mix.cue")));
}

// Each output names its file and the disk's reason, keeps the older file of that name as it
// was, and fails the command.
TEST_F(CliOutputs, OnAFullDiskEveryCommandFailsAndLeavesNoHalfFile) {
    const QByteArray older = "an older file, kept";
    const test::FullDisk disk({{"out.wav", older}, {"mix.cue", older}, {"t.tsv", older}});
    if (!disk.mounted()) GTEST_SKIP() << disk.skipReason();
    const QString full = disk.path("out.wav");
    const QString room = dir.filePath("room.wav");
    struct Case {
        QStringList words;
        QString failing;
    };
    const Case cases[] = {
        {{"render", song, "--out", full}, full},
        {{"automix", list, "--out", full}, full},
        {{"automix", list, "--out", room, "--cue-sheet", disk.path("mix.cue")},
         disk.path("mix.cue")},
        {{"session", session, "--out", full, "--seconds", "2"}, full},
        {{"session", session, "--out", room, "--seconds", "2", "--trace", disk.path("t.tsv")},
         disk.path("t.tsv")},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.words);
        const std::string what = c.words.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 1) << what << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("cannot write " + c.failing + ": No space left on device"))
            << run.err.toStdString();
        EXPECT_EQ(disk.files(), (QStringList{"mix.cue", "out.wav", "t.tsv"})) << what;
        for (const QString& name : disk.files())
            EXPECT_EQ(test::contents(disk.path(name)), older) << what << " " << name.toStdString();
        EXPECT_FALSE(QFile::exists(room)) << what;
    }
}

}  // namespace
}  // namespace kelvra::app
