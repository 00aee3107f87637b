// The key lock through the offline renderer: the pitch slider changes only the tempo, a key
// shift moves the pitch by semitones, a held tone keeps its level and a short gap stays a gap,
// and turning the lock on and off or jumping mid-song leaves no hole, no click and no jump in
// the song.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio/EngineTestSupport.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;

constexpr int kRate = 44100;

double secondsAt(Engine& engine, audio::Handle h) {
    return engine.channelBytes2Seconds(h, engine.channelPosition(h));
}

// A sine of `hz` playing offline at `rate` (the pitch slider's rate) from its start.
struct Playing {
    Playing(double hz, int rate) : Playing(sineFile(kRate, 2, 30.0, hz, 0.5), rate) {}
    Playing(TestFile song, int rate)
        : engine((songs.add("song.mp3", std::move(song)), songs.openers())) {
        EXPECT_TRUE(engine.initOffline(kRate));
        h = engine.streamCreateFile("song.mp3", 0);
        EXPECT_TRUE(engine.channelSetAttributes(h, rate, -1, -101));
        EXPECT_TRUE(engine.streamPlay(h, false, 0));
    }
    TestFiles songs;
    Engine engine;
    audio::Handle h = 0;
};

// The level (dB of full scale) of the left channel over `window` frames from `at`.
double levelAt(const std::vector<std::int16_t>& v, std::size_t at, std::size_t window) {
    double sum = 0;
    for (std::size_t i = at; i < at + window; ++i)
        sum += double(v[2 * i]) * double(v[2 * i]);
    return 10 * std::log10(std::max(sum / double(window), 1e-3) / (32768.0 * 32768.0));
}

constexpr std::size_t kWindow = kRate / 200;  // 5 ms: short enough to see a flutter's dips

struct Held {
    double tempo;   // the pitch slider's factor
    int semitones;  // the key shift
};

class KeyLockHeldTone : public ::testing::TestWithParam<Held> {};

// A tone held for seconds comes out of the stretcher as one steady tone: every 5 ms of it within
// a decibel of the others, with no dips where the stretcher's frames fail to add up.
TEST_P(KeyLockHeldTone, KeepsItsLevelWithinADecibel) {
    const Held held = GetParam();
    Playing playing(1000, int(std::lrint(kRate * held.tempo)));
    ASSERT_TRUE(playing.engine.setKeyLock(audio::StreamId(playing.h),
                                          {true, audio::Hz(0), held.semitones}));
    render(playing.engine, kRate / 2);  // past the stretcher's start
    const std::vector<std::int16_t> heard = render(playing.engine, 4 * kRate);
    std::vector<double> levels;
    for (std::size_t at = 0; at + kWindow <= heard.size() / 2; at += kWindow)
        levels.push_back(levelAt(heard, at, kWindow));
    const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
    EXPECT_LE(*high - *low, 1.0) << "quietest 5 ms at " << double(low - levels.begin()) * 0.005
                                 << " s";
    EXPECT_NEAR(measuredFrequency(heard, 0, 0, heard.size() / 2, kRate),
                1000 * std::exp2(held.semitones / 12.0), 3);
    EXPECT_EQ(playing.engine.stats().starvedFrames, 0u);
}

INSTANTIATE_TEST_SUITE_P(TemposAndShifts, KeyLockHeldTone,
                         ::testing::Values(Held{1.08, 0}, Held{0.94, 0}, Held{1.03, 0},
                                           Held{1.03, 2}, Held{1.0, -3}),
                         [](const ::testing::TestParamInfo<Held>& info) {
                             const int percent = int(std::lrint(info.param.tempo * 100)) - 100;
                             return (percent < 0 ? "Minus" : "Plus") +
                                    std::to_string(std::abs(percent)) + "PerCent" +
                                    (info.param.semitones < 0 ? "Down" : "Up") +
                                    std::to_string(std::abs(info.param.semitones));
                         });

// Ten milliseconds of silence in a held tone, played key-locked at +8 %: the gap is still heard
// as one, where the song has it, instead of being smeared over by the tone on either side.
TEST(KeyLock, AShortGapInAToneStaysAudible) {
    constexpr double kGapAt = 3.0;
    std::vector<std::int16_t> samples = sine(kRate, 2, 8.0, 1000, 0.5);
    std::fill_n(samples.begin() + std::ptrdiff_t(kGapAt * kRate) * 2, kRate / 100 * 2, 0);
    TestFile song;
    song.samples = std::make_shared<const std::vector<std::int16_t>>(std::move(samples));
    Playing playing(std::move(song), kRate * 108 / 100);
    ASSERT_TRUE(playing.engine.setKeyLock(audio::StreamId(playing.h), {true, audio::Hz(0), 0}));
    render(playing.engine, kRate / 2);
    const double before = secondsAt(playing.engine, playing.h);
    const std::vector<std::int16_t> heard = render(playing.engine, 4 * kRate);
    const double steady = levelAt(heard, 0, kRate / 2);
    double quietest = 0;
    std::size_t quietestAt = 0;
    for (std::size_t at = 0; at + kWindow <= heard.size() / 2; at += kWindow / 5) {
        const double level = levelAt(heard, at, kWindow);
        if (level < quietest) quietest = level, quietestAt = at;
    }
    EXPECT_LE(quietest, steady - 20) << "the gap was smeared over";
    // The gap's middle, heard 1/1.08 of its distance in the song later.
    const double expected = (kGapAt + 0.005 - before) / 1.08 * kRate;
    EXPECT_NEAR(double(quietestAt + kWindow / 2), expected, 0.02 * kRate);
}

TEST(KeyLock, ThePitchSliderMovesTheTempoOnlyAndAShiftMovesTheKey) {
    Playing playing(1000, kRate * 11 / 10);  // +10 %
    Engine& engine = playing.engine;
    const audio::Handle h = playing.h;
    std::vector<std::int16_t> heard = render(engine, kRate);
    EXPECT_NEAR(measuredFrequency(heard, 0, kRate / 2, kRate, kRate), 1100, 2);

    ASSERT_TRUE(engine.setKeyLock(audio::StreamId(h), {true, audio::Hz(0), 0}));
    const double before = secondsAt(engine, h);
    heard = render(engine, 2 * kRate);
    EXPECT_NEAR(measuredFrequency(heard, 0, kRate, 2 * kRate, kRate), 1000, 3) << "not locked";
    EXPECT_NEAR(secondsAt(engine, h) - before, 2.2, 0.03) << "the tempo did not stay at +10 %";

    ASSERT_TRUE(engine.setKeyLock(audio::StreamId(h), {true, audio::Hz(0), 2}));
    heard = render(engine, kRate);
    EXPECT_NEAR(measuredFrequency(heard, 0, kRate / 2, kRate, kRate), 1000 * std::exp2(2 / 12.0),
                4);
    // Half the base rate (the 22 kHz button) keeps its octave down, lock or not.
    ASSERT_TRUE(engine.setKeyLock(audio::StreamId(h), {true, audio::Hz(kRate / 2), 0}));
    heard = render(engine, kRate);
    EXPECT_NEAR(measuredFrequency(heard, 0, kRate / 2, kRate, kRate), 500, 2);
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
}

TEST(KeyLock, EightPerCentFasterKeepsAThousandHertzAndPlaysInItsShare) {
    Playing playing(1000, kRate * 108 / 100);
    ASSERT_TRUE(playing.engine.setKeyLock(audio::StreamId(playing.h), {true, audio::Hz(0), 0}));
    render(playing.engine, kRate / 2);  // past the stretcher's start
    const double before = secondsAt(playing.engine, playing.h);
    const std::vector<std::int16_t> heard = render(playing.engine, 4 * kRate);
    EXPECT_NEAR(measuredFrequency(heard, 0, kRate, 4 * kRate, kRate), 1000, 2);
    // Four seconds of listening take 4.32 s of the song: it lasts 1/1.08 of its time.
    EXPECT_NEAR(secondsAt(playing.engine, playing.h) - before, 4.32, 0.03);
}

TEST(KeyLock, TurningItOnAndOffMidSongLeavesNoHoleClickOrJump) {
    Playing playing(441, kRate * 21 / 20);  // +5 %
    Engine& engine = playing.engine;
    const audio::Handle h = playing.h;
    std::vector<std::int16_t> heard = render(engine, kRate);
    const auto more = [&](std::int64_t frames) {
        const auto out = render(engine, frames);
        heard.insert(heard.end(), out.begin(), out.end());
    };
    for (bool on : {true, false, true, false}) {
        const double before = secondsAt(engine, h);
        ASSERT_TRUE(engine.setKeyLock(audio::StreamId(h), {on, audio::Hz(0), 0}));
        more(kRate / 2);
        // Half a second at +5 % is 0.525 s of the song, whichever way it plays.
        EXPECT_NEAR(secondsAt(engine, h) - before, 0.525, 0.02) << (on ? "on" : "off");
    }
    EXPECT_LE(longestQuiet(heard, 0, kRate / 2, heard.size() / 2), std::size_t(kRate / 100));
    EXPECT_LE(maxStep(heard, 0, kRate / 2, heard.size() / 2),
              1.5 * sineStep(0.5, 441 * 1.05, kRate));
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
}

// Hot cue jumps while key-locked: each one cross-fades once, from the old place to the new, at
// once, with no step beyond a clean tone's own and the level steady again right after.
TEST(KeyLock, AJumpCrossFadesOnceWithoutAClick) {
    constexpr double kTone = 441;
    Playing playing(kTone, kRate * 108 / 100);
    Engine& engine = playing.engine;
    const audio::Handle h = playing.h;
    ASSERT_TRUE(engine.setKeyLock(audio::StreamId(h), {true, audio::Hz(0), 0}));
    render(engine, kRate / 2);
    std::vector<std::int16_t> heard;
    for (const std::int64_t frame : {300001, 44100, 500037, 200000}) {
        ASSERT_TRUE(engine.channelSetPosition(h, audio::BytePosition(frame) * 4));
        const std::vector<std::int16_t> out = render(engine, kRate / 2);
        // Heard at once: half a second later the song is half a second at +8 % past the cue.
        EXPECT_NEAR(secondsAt(engine, h) * kRate, double(frame) + 1.08 * kRate / 2, 0.01 * kRate)
            << "jump to " << frame;
        EXPECT_LE(maxStep(out, 0, 0, out.size() / 2), 1.5 * sineStep(0.5, kTone, kRate))
            << "jump to " << frame;
        // Windows of whole cycles of the tone (two, 4.5 ms), so a steady tone reads steady.
        std::vector<double> levels;
        for (std::size_t at = kRate / 50; at + 200 <= out.size() / 2; at += 200)
            levels.push_back(levelAt(out, at, 200));
        const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
        EXPECT_LE(*high - *low, 1.0) << "jump to " << frame;
        heard.insert(heard.end(), out.begin(), out.end());
    }
    EXPECT_LE(longestQuiet(heard, 0, 0, heard.size() / 2), std::size_t(kRate / 1000));
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
}

}  // namespace
}  // namespace kelvra::test
