// Tempo and first beat of synthesised drum tracks, through the file path a deck's analysis takes:
// steady loops across the tempi a beat may have, fast beats under accents that pulse at two thirds
// of them, the same audio through other encodings, tempi that wander and tempi that change.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "audio/AnalysisFixtures.h"
#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::testing {
namespace {

using analysis::analyseFile;
using analysis::AnalysisSnapshot;

AnalysisSnapshot analysed(const QTemporaryDir& dir, const std::vector<std::int16_t>& pcm,
                          int rate = 44100) {
    const std::string path = dir.filePath("track.wav").toStdString();
    if (!test::writeWav(path, pcm, rate, 2)) return nullptr;
    return analyseFile(path);
}

struct Expected {
    double bpm;
    double intro;
};

class AnalysisTempo : public ::testing::TestWithParam<Expected> {};

TEST_P(AnalysisTempo, FindsTheTempoAndTheFirstKick) {
    const Expected e = GetParam();
    QTemporaryDir dir;
    const auto result = analysed(dir, drumLoop({e.bpm, e.intro, 40, 44100}));
    ASSERT_TRUE(result);
    EXPECT_NEAR(result->bpm, e.bpm, 0.05);
    EXPECT_FALSE(result->tempoChanges);
    EXPECT_NEAR(result->firstBeatSeconds, e.intro, 0.010);
    EXPECT_NEAR(result->seconds, 40.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(DrumLoops, AnalysisTempo,
                         ::testing::Values(Expected{60, 0}, Expected{70, 0}, Expected{87.5, 0},
                                           Expected{100, 0}, Expected{120, 0}, Expected{128, 0},
                                           Expected{140, 0}, Expected{160, 0}, Expected{174, 0},
                                           Expected{190, 0}, Expected{200, 0}, Expected{124, 6.789},
                                           Expected{87.5, 3.2}),
                         [](const auto& info) {
                             return "Bpm" + std::to_string(int(info.param.bpm * 10)) +
                                    (info.param.intro > 0 ? "SilentIntro" : "");
                         });

// A kick on every beat with a snare pushed onto every third eighth note: the pushes pulse at two
// thirds of the beat, as loud as the backbeat, and must not be taken for it.
class FastBeatUnderPushes : public ::testing::TestWithParam<double> {};

TEST_P(FastBeatUnderPushes, KeepsTheBeat) {
    const double bpm = GetParam();
    QTemporaryDir dir;
    const auto result = analysed(dir, drumTrack({[bpm](double) { return bpm; }, 40, 1.0f, true}));
    ASSERT_TRUE(result);
    EXPECT_NEAR(result->bpm, bpm, 0.05);
    EXPECT_FALSE(result->tempoChanges);
}

INSTANTIATE_TEST_SUITE_P(Metal, FastBeatUnderPushes, ::testing::Values(150.0, 170.0, 180.0, 190.0),
                         [](const auto& info) { return "Bpm" + std::to_string(int(info.param)); });

// The same audio as WAV, as MP3 and lowpassed and resampled to 48 kHz gives the same tempo.
TEST(AnalysisTempoEncodings, AgreeOnTheTempo) {
    QTemporaryDir dir;
    for (const auto& [bpm, push] : {std::pair{128.0, 0.0f}, std::pair{178.0, 1.0f}}) {
        SCOPED_TRACE(bpm);
        const std::string wav = dir.filePath("source.wav").toStdString();
        const double beat = bpm;
        ASSERT_TRUE(test::writeWav(
            wav, drumTrack({[beat](double) { return beat; }, 40, push, push > 0}), 44100, 2));
        const std::string mp3 = dir.filePath("encoded.mp3").toStdString();
        const std::string resampled = dir.filePath("resampled.wav").toStdString();
        ASSERT_TRUE(test::ffmpegEncode(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "128k"}));
        ASSERT_TRUE(test::ffmpegEncode(
            wav, resampled, {"-af", "lowpass=f=7000", "-ar", "48000", "-c:a", "pcm_s16le"}));
        const auto original = analyseFile(wav);
        ASSERT_TRUE(original);
        EXPECT_NEAR(original->bpm, bpm, 0.05);
        for (const std::string& other : {mp3, resampled}) {
            SCOPED_TRACE(other);
            const auto result = analyseFile(other);
            ASSERT_TRUE(result);
            EXPECT_NEAR(result->bpm, original->bpm, 0.05);
        }
    }
}

// A tempo that never holds for long has no grid to give: a drummer drifting 8 % either side of
// 120 BPM every half minute, and one speeding up from 100 to 135 BPM.
TEST(AnalysisTempoWandering, GivesNoTempo) {
    QTemporaryDir dir;
    const std::function<double(double)> drifts[] = {
        [](double t) { return 120 * (1 + 0.08 * std::sin(2 * std::numbers::pi * t / 30)); },
        [](double t) { return 100 + 35 * t / 90; },
    };
    for (const auto& drift : drifts) {
        const auto result = analysed(dir, drumTrack({drift, 90}));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->bpm, 0);
        EXPECT_FALSE(result->tempoChanges);
    }
}

// Sustained tones have no onsets to count: a sine, a louder one, a chord that swells slowly, and
// a sine through an MP3 encoder all have no steady beat, however the ripple of their analysis
// (or the encoder's) lines up.
TEST(AnalysisTempoTones, GiveNoTempo) {
    QTemporaryDir dir;
    constexpr int kRate = 44100;
    const std::function<double(double)> tones[] = {
        [](double t) { return 0.5 * std::sin(2 * std::numbers::pi * 440 * t); },
        [](double t) { return 0.8 * std::sin(2 * std::numbers::pi * 440 * t); },
        [](double t) {
            const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * t / 7);
            return swell * (0.2 * std::sin(2 * std::numbers::pi * 220 * t) +
                            0.2 * std::sin(2 * std::numbers::pi * 277.2 * t) +
                            0.2 * std::sin(2 * std::numbers::pi * 329.6 * t));
        },
        [](double t) { return 0.125 * std::sin(2 * std::numbers::pi * 1000 * t); },
    };
    for (std::size_t which = 0; which < std::size(tones); ++which) {
        std::vector<float> mono(std::size_t(40 * kRate));
        for (std::size_t i = 0; i < mono.size(); ++i) {
            const double t = double(i) / kRate;
            // Faded in and out over a second, as a test tone from a generator would be.
            const double fade = std::min({1.0, t, 40 - t});
            mono[i] = float(fade * tones[which](t));
        }
        const std::string wav = dir.filePath("tone.wav").toStdString();
        ASSERT_TRUE(test::writeWav(wav, stereo(mono), kRate, 2));
        std::string path = wav;
        if (which + 1 == std::size(tones)) {
            path = dir.filePath("tone.mp3").toStdString();
            ASSERT_TRUE(test::ffmpegEncode(wav, path, {"-c:a", "libmp3lame", "-b:a", "192k"}));
        }
        const auto result = analyseFile(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->bpm, 0) << "tone " << which;
    }
}

// Two steady stretches at different tempi: the grid is the longer one's, and says the tempo
// changes.
TEST(AnalysisTempoChanges, GivesTheLongestStretchAndSaysSo) {
    QTemporaryDir dir;
    struct Case {
        double first, firstSeconds, then, seconds, expected;
    };
    for (const Case& c : {Case{100, 50, 130, 140, 130}, Case{128, 90, 96, 140, 128}}) {
        SCOPED_TRACE(c.expected);
        const auto result = analysed(
            dir, drumTrack(
                     {[c](double t) { return t < c.firstSeconds ? c.first : c.then; }, c.seconds}));
        ASSERT_TRUE(result);
        EXPECT_NEAR(result->bpm, c.expected, 0.05);
        EXPECT_TRUE(result->tempoChanges);
        // The first beat is the longest stretch's own, found within a few seconds of its start.
        const double from = c.expected == c.then ? c.firstSeconds : 0;
        EXPECT_GE(result->firstBeatSeconds, from - 0.01);
        EXPECT_LE(result->firstBeatSeconds, from + 5);
    }
}

}  // namespace
}  // namespace kelvra::audio::testing
