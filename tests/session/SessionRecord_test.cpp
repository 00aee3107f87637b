// `session --record`: the script's clicks on the record button record the main mix, and the
// recording is exactly the stretch of the rendered mix between the clicks, with a cue sheet that
// names the song from when it was heard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "core/FileHelpers.h"
#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/FlacDecode.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

std::string readAll(const QString& path) {
    return readRegularFile(path, 1 << 16).value_or(QByteArray()).toStdString();
}

TEST(SessionRecord, TheRecordButtonRecordsExactlyTheMixBetweenItsClicksWithACueSheet) {
    QTemporaryDir dir;
    // A rising tone, no two stretches alike: a recording off by one frame does not match.
    const QString song = dir.filePath("Night Drive - Neon Hours - 03 - Afterglow.wav");
    std::vector<std::int16_t> samples(std::size_t(12 * kRate) * 2);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / kRate;
        const double phase = 2 * M_PI * (200 * t + 60 * t * t);
        samples[2 * i] = std::int16_t(std::lrint(15000 * std::sin(phase)));
        samples[2 * i + 1] = std::int16_t(std::lrint(9000 * std::cos(phase)));
    }
    ASSERT_TRUE(test::writeWav(song.toStdString(), samples, kRate, 2));
    QFile script(dir.filePath("set.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // Recording from 1 s; the song comes in at 2 s; a second recording still runs at the end,
    // with the headphones cueing the left deck on the output's left channel.
    script.write(("0.5 load left " + song +
                  "\n1 click recordCB\n2 click playCB2\n5 click recordCB\n"
                  "5.5 click monitorCMB 0\n6 click recordCB\n7.5 end\n")
                     .toUtf8());
    script.close();

    const QString main = dir.filePath("main.wav"), flac = dir.filePath("set.flac");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVRA_CONFIG_DIR", dir.filePath("config"));
    const test::CliRun run =
        test::runCli({"session", script.fileName(), "--out", main, "--record", flac}, environment);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("recorded\t1.500 s\t" + dir.filePath("set-2.flac")))
        << run.out.toStdString();

    test::WavData mix;
    ASSERT_TRUE(test::readWav(main.toStdString(), mix));
    ASSERT_EQ(mix.samples.size(), std::size_t(7.5 * kRate) * 2);
    // With the cue on the left, the main mix is the output's right channel, on both sides.
    const auto stretch = [&](double from, double to, bool cueOnLeft = false) {
        std::vector<std::int16_t> frames(mix.samples.begin() + std::ptrdiff_t(from * kRate) * 2,
                                         mix.samples.begin() + std::ptrdiff_t(to * kRate) * 2);
        for (std::size_t i = 0; cueOnLeft && i < frames.size(); i += 2)
            frames[i] = frames[i + 1];
        return frames;
    };
    for (const auto& [file, from, to] :
         {std::tuple{flac, 1.0, 5.0}, {dir.filePath("set-2.flac"), 6.0, 7.5}}) {
        SCOPED_TRACE(file.toStdString());
        const test::FlacData recorded = test::decodeFlac(file.toStdString());
        ASSERT_TRUE(recorded.ok) << recorded.error;
        EXPECT_TRUE(recorded.md5Matched);
        EXPECT_EQ(recorded.totalFrames, std::uint64_t(std::llrint((to - from) * kRate)));
        // The frames of the mix from the click on, not one early or late.
        EXPECT_TRUE(recorded.samples == stretch(from, to, from > 5));
    }
    // Heard from 2 s of the mix: one second into the first recording, seen at the display tick
    // after (80 ms, 1.08 s: 81 CD frames); already playing when the second began.
    EXPECT_EQ(readAll(dir.filePath("set.cue")),
              "FILE \"set.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Afterglow\"\r\n"
              "    PERFORMER \"Night Drive\"\r\n    INDEX 01 00:01:06\r\n");
    EXPECT_NE(readAll(dir.filePath("set-2.cue")).find("INDEX 01 00:00:00"), std::string::npos);
}

// Whatever already has a recording's name, or its cue sheet's, stays as it was, the run says why
// and fails; so does a run whose outputs are one file under two names, which would lose one.
TEST(SessionRecord, ARecordingNeverReplacesAnythingAndOneThatFailsFailsTheRun) {
    QTemporaryDir dir;
    QFile script(dir.filePath("set.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("0.5 click recordCB\n1 click recordCB\n1.5 click recordCB\n2 end\n");
    script.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVRA_CONFIG_DIR", dir.filePath("config"));
    const QString main = dir.filePath("main.wav");
    const auto run = [&](const QString& record, QStringList more = {}) {
        if (!more.contains("--out")) more << "--out" << main;
        return test::runCli(QStringList{"session", script.fileName(), "--record", record} + more,
                            environment);
    };
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    const auto isKind = [](const QString& path, mode_t kind) {
        struct stat info = {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 &&
               (info.st_mode & S_IFMT) == kind;
    };

    const QString kept = dir.filePath("kept.flac"), keptCue = dir.filePath("sheet.cue");
    ASSERT_TRUE(write(kept, "an older set"));
    ASSERT_TRUE(write(keptCue, "an older sheet"));
    const QString folder = dir.filePath("isdir"), pipe = dir.filePath("pipe.flac"),
                  device = dir.filePath("full");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QStringList taken = {kept, dir.filePath("sheet.flac"), folder, pipe};
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 7)) == 0)
        taken << device;
    for (const QString& record : taken) {
        SCOPED_TRACE(record.toStdString());
        const test::CliRun refused = run(record);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("exists already, and a recording never replaces"))
            << refused.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(main));
    }
    EXPECT_EQ(readAll(kept), "an older set");
    EXPECT_EQ(readAll(keptCue), "an older sheet");
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(isKind(pipe, S_IFIFO));
    if (taken.contains(device)) {
        EXPECT_TRUE(isKind(device, S_IFCHR));
    }
    QStringList left = {"kept.flac", "pipe.flac", "set.txt", "sheet.cue"};
    if (taken.contains(device)) left.prepend("full");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System, QDir::Name), left);

    // One file under two names: the same name, another spelling, a cue sheet's, a hard link.
    const QString wav = dir.filePath("phones.wav"), linked = dir.filePath("linked.wav");
    ASSERT_TRUE(write(wav, "old"));
    ASSERT_EQ(::link(QFile::encodeName(wav).constData(), QFile::encodeName(linked).constData()), 0);
    const QString rec = dir.filePath("rec.flac");
    for (const QStringList& outputs :
         {QStringList{"--out", rec}, QStringList{"--out", folder + "/../rec.flac"},
          QStringList{"--out", dir.filePath("rec.cue")},
          QStringList{"--phones", wav, "--trace", linked}}) {
        SCOPED_TRACE(outputs.join(' ').toStdString());
        const test::CliRun refused = run(rec, outputs);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("are the same file")) << refused.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(rec));
    }
    EXPECT_EQ(readAll(wav), "old");

    // Nor is a mix written in place of a pipe, a device or a folder.
    QStringList notFiles = {pipe, folder};
    if (taken.contains(device)) notFiles << device;
    for (const QString& out : notFiles) {
        const test::CliRun refused = run(rec, {"--out", out});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("it is a folder, device or pipe, not a file"))
            << refused.err.toStdString();
    }
    EXPECT_TRUE(isKind(pipe, S_IFIFO));
    if (taken.contains(device)) {
        EXPECT_TRUE(isKind(device, S_IFCHR));
    }

    // The second recording's sheet is taken: the first is recorded whole, the second refused,
    // and the run fails.
    const QString second = dir.filePath("rec-2.cue");
    ASSERT_TRUE(write(second, "not the recorder's"));
    const test::CliRun halfway = run(rec);
    EXPECT_EQ(halfway.exitCode, 1) << halfway.err.toStdString();
    // Told as the program tells it, in the session's log of messages.
    EXPECT_TRUE(
        (halfway.out + halfway.err).contains("cannot create " + second + ": it exists already"))
        << halfway.out.toStdString() << halfway.err.toStdString();
    EXPECT_EQ(readAll(second), "not the recorder's");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("rec-2.flac")));
    const test::FlacData first = test::decodeFlac(rec.toStdString());
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.totalFrames, std::uint64_t(kRate / 2));
}

}  // namespace
}  // namespace kelvra::session
