// kelvra-cli probe and render on real files, through the FFmpeg decoders.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "audio/DecodeFixtures.h"
#include "audio/EngineTestSupport.h"
#include "support/CliRun.h"

namespace kelvra::test {
namespace {

using audio::testing::DecodeFixtures;

// What the command printed on standard output, as the checks below compare it.
struct Printed {
    int exitCode = -1;
    std::string out;
};

Printed cli(const QStringList& args) {
    const CliRun run = runCli(args);
    return {run.exitCode, run.out.toStdString()};
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(EngineCli, ProbeReportsKindLengthRateAndChannelsOrTheError) {
    const auto& f = DecodeFixtures::get();
    ASSERT_TRUE(f.ok);
    const std::int64_t frames = std::int64_t(DecodeFixtures::kSeconds * 44100 + 0.5);
    const std::string stereo = "kind\t2\nbytes\t" + std::to_string(frames * 4) +
                               "\nseconds\t3.300\nrate\t44100\nchannels\t2\n";
    for (const auto& file : {f.wav, f.mp3Cbr, f.mp3Vbr}) {
        const Printed run = cli({"probe", q(file)});
        EXPECT_EQ(run.exitCode, 0) << file;
        EXPECT_EQ(run.out, stereo) << file;
    }
    const Printed mono = cli({"probe", q(f.mp3Mono)});
    EXPECT_EQ(mono.out, "kind\t2\nbytes\t" + std::to_string(frames) +
                            "\nseconds\t3.300\nrate\t22050\nchannels\t1\n");
    // ASF content goes to the add-on side, whatever the name.
    QTemporaryDir dir;
    const QString disguised = dir.filePath("not-really.mp3");
    ASSERT_TRUE(QFile::copy(q(f.wma), disguised));
    const Printed wma = cli({"probe", disguised});
    EXPECT_EQ(wma.exitCode, 0);
    EXPECT_EQ(wma.out.substr(0, 7), "kind\t1\n");
    EXPECT_NE(wma.out.find("rate\t44100\nchannels\t2\n"), std::string::npos) << wma.out;

    const Printed missing = cli({"probe", dir.filePath("missing.mp3")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "error\t2\tCan't Open the File\n");
    const QString garbage = dir.filePath("garbage.mp3");
    std::ofstream(garbage.toStdString()) << std::string(5000, 'z');
    const Printed bad = cli({"probe", garbage});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "error\t6\tUnsupported Format\n");
}

TEST(EngineCli, RenderFromAPositionMatchesTheFullRender) {
    const auto& f = DecodeFixtures::get();
    ASSERT_TRUE(f.ok);
    QTemporaryDir dir;
    for (const auto& file : {f.wav, f.mp3Cbr, f.mp3Vbr}) {
        const QString full = dir.filePath("full.wav"), tail = dir.filePath("tail.wav");
        ASSERT_EQ(cli({"render", q(file), "--out", full}).exitCode, 0);
        ASSERT_EQ(cli({"render", q(file), "--out", tail, "--from", "200002"}).exitCode, 0);
        WavData a, b;
        ASSERT_TRUE(readWav(full.toStdString(), a));
        ASSERT_TRUE(readWav(tail.toStdString(), b));
        ASSERT_EQ(a.channels, 2);
        ASSERT_EQ(a.samples.size() - b.samples.size(), 2u * 50000) << file;
        std::size_t differ = 0;
        for (std::size_t i = 2 * 140; i < b.samples.size(); ++i)
            differ += b.samples[i] != a.samples[i + 2 * 50000];
        EXPECT_EQ(differ, 0u) << file;
    }
    // The attributes reach the mix: half volume, hard right, 22050 Hz output for 3 seconds.
    const QString out = dir.filePath("attrs.wav");
    ASSERT_EQ(cli({"render", q(f.wav), "--out", out, "--volume", "50", "--pan", "100", "--rate",
                   "22050", "--seconds", "1", "--freq", "44100"})
                  .exitCode,
              0);
    WavData c;
    ASSERT_TRUE(readWav(out.toStdString(), c));
    EXPECT_EQ(c.rate, 22050);
    EXPECT_EQ(c.samples.size(), 2u * 22050);
    EXPECT_EQ(peak(c.samples, 0, 1000, 22050), 0);
    EXPECT_NEAR(peak(c.samples, 1, 1000, 22050), 0.5 * 0.5 * 0.6 * 32767, 100);
    EXPECT_EQ(cli({"render", q(f.wav), "--out", out, "--volume", "101"}).exitCode, 1);
    EXPECT_EQ(cli({"render", q(f.wav)}).exitCode, 2);
}

}  // namespace
}  // namespace kelvra::test
