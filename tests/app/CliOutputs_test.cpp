// kelvra-cli's output files, WAV, cue sheet and trace: each appears whole or not at all, and a
// run that could not write one says so and fails.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/FileBytes.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

using test::CliRun;
using test::runCli;

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files);
}

// A small file system of its own that fills up for real. Mounting needs root; elsewhere the
// tests that use it skip.
class FullDisk {
  public:
    explicit FullDisk(const QString& path) : path_(path) {
        QDir().mkpath(path);
        mounted_ = ::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted_) return;
        // Fill it to the last byte, so that any file written there fails.
        QFile filler(path + "/filler");
        if (filler.open(QIODevice::WriteOnly)) {
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
    }
    ~FullDisk() {
        if (mounted_) ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString filePath(const QString& name) const { return path_ + "/" + name; }
    QStringList files() const {
        QStringList names = filesIn(path_);
        names.removeAll("filler");
        return names;
    }

  private:
    QString path_;
    bool mounted_ = false;
};

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

TEST_F(CliOutputs, OnAFullDiskEveryCommandFailsAndLeavesNoHalfFile) {
    FullDisk disk(dir.filePath("disk"));
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs could be mounted here";
    const QString full = disk.filePath("out.wav");
    const QString room = dir.filePath("room.wav");
    struct Case {
        QStringList words;
        QString failing;
    };
    const Case cases[] = {
        {{"render", song, "--out", full}, full},
        {{"automix", list, "--out", full}, full},
        {{"automix", list, "--out", room, "--cue-sheet", disk.filePath("mix.cue")},
         disk.filePath("mix.cue")},
        {{"session", session, "--out", full, "--seconds", "2"}, full},
        {{"session", session, "--out", room, "--seconds", "2", "--trace", disk.filePath("t.tsv")},
         disk.filePath("t.tsv")},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.words);
        const std::string what = c.words.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 1) << what << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("cannot write " + c.failing)) << run.err.toStdString();
        EXPECT_EQ(disk.files(), QStringList{}) << what;
        EXPECT_FALSE(QFile::exists(room)) << what;
    }
}

}  // namespace
}  // namespace kelvra::app
