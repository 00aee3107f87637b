// `session --record`: the script's clicks on the record button record the main mix, and the
// recording is exactly the stretch of the rendered mix between the clicks, with a cue sheet that
// names the song from when it was heard.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/FlacDecode.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

// Where `piece` sits in `whole` (frames), searched from the start; -1 when it is not there.
std::int64_t offsetOf(const std::vector<std::int16_t>& whole,
                      const std::vector<std::int16_t>& piece) {
    if (piece.empty() || piece.size() > whole.size()) return -1;
    for (std::size_t at = 0; at + piece.size() <= whole.size(); at += 2)
        if (std::equal(piece.begin(), piece.end(), whole.begin() + std::ptrdiff_t(at)))
            return std::int64_t(at / 2);
    return -1;
}

// "mm:ss:ff" of the cue sheet's INDEX lines, in milliseconds.
std::vector<double> indexTimes(const QString& sheet) {
    std::vector<double> ms;
    const QRegularExpression index(R"(INDEX 01 (\d+):(\d\d):(\d\d))");
    for (auto it = index.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        ms.push_back((m.captured(1).toInt() * 60 + m.captured(2).toInt()) * 1000.0 +
                     m.captured(3).toInt() * 1000.0 / 75);
    }
    return ms;
}

TEST(SessionRecord, TheRecordButtonRecordsExactlyTheMixBetweenItsClicksWithACueSheet) {
    QTemporaryDir dir;
    // A rising tone: every stretch of it differs, so a match in the mix is the one place.
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
    // Recording from 1 s; the song comes in at 2 s; a second recording still runs at the end.
    script.write(("0.5 load left " + song +
                  "\n1 click recordCB\n2 click playCB2\n5 click recordCB\n"
                  "6 click recordCB\n7.5 end\n")
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
    const auto stretch = [&](double from, double to) {
        return std::vector<std::int16_t>(mix.samples.begin() + std::ptrdiff_t(from * kRate) * 2,
                                         mix.samples.begin() + std::ptrdiff_t(to * kRate) * 2);
    };
    for (const auto& [file, from, to] :
         {std::tuple{flac, 1.0, 5.0}, {dir.filePath("set-2.flac"), 6.0, 7.5}}) {
        SCOPED_TRACE(file.toStdString());
        const test::FlacData recorded = test::decodeFlac(file.toStdString());
        ASSERT_TRUE(recorded.ok) << recorded.error;
        EXPECT_TRUE(recorded.md5Matched);
        EXPECT_EQ(recorded.rate, kRate);
        EXPECT_EQ(recorded.totalFrames, std::uint64_t(std::llrint((to - from) * kRate)));
        // The frames of the mix from the click on, not one early or late.
        EXPECT_EQ(offsetOf(mix.samples, recorded.samples), std::llrint(from * kRate));
        EXPECT_TRUE(recorded.samples == stretch(from, to));
    }
    // The first second of the first recording is before the song came in.
    const test::FlacData first = test::decodeFlac(flac.toStdString());
    EXPECT_TRUE(std::all_of(first.samples.begin(), first.samples.begin() + kRate * 2,
                            [](std::int16_t s) { return s == 0; }));

    // Heard from 2 s of the mix, one second into the first recording (within the display
    // tick that noticed it); already playing when the second began.
    QFile cue(dir.filePath("set.cue"));
    ASSERT_TRUE(cue.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(cue.readAll());
    EXPECT_TRUE(sheet.startsWith("FILE \"set.flac\" WAVE\r\n")) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains("TITLE \"Afterglow\"\r\n    PERFORMER \"Night Drive\""));
    const std::vector<double> times = indexTimes(sheet);
    ASSERT_EQ(times.size(), 1u) << sheet.toStdString();
    EXPECT_GE(times[0], 1000.0);
    EXPECT_LE(times[0], 1080.0 + 1000.0 / 75);
    QFile secondCue(dir.filePath("set-2.cue"));
    ASSERT_TRUE(secondCue.open(QIODevice::ReadOnly));
    EXPECT_EQ(indexTimes(QString::fromUtf8(secondCue.readAll())), std::vector<double>{0.0});
}

TEST(SessionRecord, ARecordingThatCannotBeMadeFailsTheRunButNotTheMix) {
    QTemporaryDir dir;
    QFile script(dir.filePath("set.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("1 click recordCB\n2 end\n");
    script.close();
    const QString main = dir.filePath("main.wav");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVRA_CONFIG_DIR", dir.filePath("config"));
    // A file where the recording's folder should be.
    QFile blocker(dir.filePath("taken"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const test::CliRun run = test::runCli(
        {"session", script.fileName(), "--out", main, "--record", dir.filePath("taken/set.flac")},
        environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("The mix cannot be recorded: cannot create " +
                                 dir.filePath("taken/set.flac")))
        << run.err.toStdString();
    EXPECT_EQ(QFile(main).size(), 44 + 2 * kRate * 4);
}

}  // namespace
}  // namespace kelvra::session
