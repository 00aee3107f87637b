// Loudness against the EBU reference signal, peaks, and which band the waveform puts a tone in.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <numbers>

#include "audio/analysis/Loudness.h"
#include "audio/analysis/SongAnalysis.h"
#include "support/AudioFixtures.h"

namespace kelvra::audio::testing {
namespace {

using analysis::analyseFile;
using analysis::Band;

analysis::AnalysisSnapshot analyse(const std::vector<std::int16_t>& pcm, int channels) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("signal.wav").toStdString();
    if (!test::writeWav(path, pcm, 44100, channels)) return nullptr;
    return analyseFile(path);
}

TEST(AnalysisLevels, ReferenceSineReadsMinus23LufsInStereoAndMono) {
    // The standard's first case: 1 kHz at -23 dBFS in each channel reads -23.0 LUFS. A mono file
    // plays from both speakers, so the same sine in mono reads the same.
    const double amplitude = std::pow(10.0, -23.0 / 20);
    for (const int channels : {2, 1}) {
        const auto result = analyse(test::sine(44100, channels, 20, 1000, amplitude), channels);
        ASSERT_TRUE(result) << channels;
        EXPECT_NEAR(result->lufs, -23.0, 0.1) << channels;
        EXPECT_NEAR(result->samplePeakDbfs, -23.0, 0.05) << channels;
        EXPECT_NEAR(result->truePeakDbfs, -23.0, 0.2) << channels;
        EXPECT_NEAR(result->seconds, 20.0, 1e-9);
    }
    // Six decibels down reads six LU lower.
    const auto quieter = analyse(test::sine(44100, 2, 20, 1000, amplitude / 2), 2);
    ASSERT_TRUE(quieter);
    EXPECT_NEAR(quieter->lufs, -29.0, 0.1);
}

TEST(AnalysisLevels, LoudnessCorrectionCutsFreelyAndBoostsOnlyWithinTheLimits) {
    using analysis::loudnessCorrectionDb;
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-8.5, 0.0), -5.5);  // a loud master: cut, peak aside
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-14.0, -1.0), 0.0);
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-20.0, -10.0), 6.0);   // room to spare
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-20.0, -4.0), 3.0);    // the true peak stops it at -1
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-40.0, -30.0), 12.0);  // at most +12 dB
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-20.0, 0.5), 0.0);     // over the ceiling already
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-inf, -inf), 0.0);  // silence
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(std::nan(""), -3.0), 0.0);
    EXPECT_DOUBLE_EQ(loudnessCorrectionDb(-20.0, -inf), 0.0);  // no peak known: no boost
}

TEST(AnalysisLevels, TruePeakSeesBetweenTheSamples) {
    // A quarter of the sampling rate at 45 degrees: every sample is at 0.707 of the crest.
    std::vector<std::int16_t> pcm;
    for (int i = 0; i < 44100 * 2; ++i) {
        const auto v = std::int16_t(
            std::lrint(0.5 * 32767 * std::sin(std::numbers::pi / 2 * i + std::numbers::pi / 4)));
        pcm.push_back(v);
        pcm.push_back(v);
    }
    const auto result = analyse(pcm, 2);
    ASSERT_TRUE(result);
    EXPECT_NEAR(result->samplePeakDbfs, 20 * std::log10(0.5) - 3.01, 0.05);
    EXPECT_NEAR(result->truePeakDbfs, 20 * std::log10(0.5), 0.3);
}

TEST(AnalysisLevels, SilenceHasNoLoudnessPeakOrBeat) {
    const auto result = analyse(std::vector<std::int16_t>(44100 * 2 * 5, 0), 2);
    ASSERT_TRUE(result);
    EXPECT_TRUE(std::isinf(result->lufs) && result->lufs < 0);
    EXPECT_TRUE(std::isinf(result->samplePeakDbfs) && result->samplePeakDbfs < 0);
    EXPECT_EQ(result->bpm, 0);
}

TEST(AnalysisLevels, WaveformPutsEachToneInItsBandEveryTenMilliseconds) {
    struct Case {
        double hz;
        Band band;
    };
    for (const Case c : {Case{50, Band::Lows}, Case{700, Band::Mids}, Case{8000, Band::Highs}}) {
        const auto result = analyse(test::sine(44100, 2, 2.005, c.hz, 0.5), 2);
        ASSERT_TRUE(result);
        const auto& w = result->waveform;
        EXPECT_EQ(w.blockFrames, 441);
        EXPECT_EQ(w.blocks.size(), 201u);  // 2.005 s: 200 whole blocks and a part
        const auto& block = w.blocks[100];
        for (int b = 0; b < analysis::kBandCount; ++b) {
            if (b == int(c.band)) {
                EXPECT_NEAR(block.peak[b], 0.5 * 255, 0.1 * 255) << c.hz;
                EXPECT_NEAR(block.rms[b], 0.5 / std::sqrt(2.0) * 255, 0.08 * 255) << c.hz;
            } else {
                EXPECT_LT(block.peak[b], 0.2 * 255) << c.hz << " band " << b;
            }
        }
    }
}

}  // namespace
}  // namespace kelvra::audio::testing
