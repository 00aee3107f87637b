// The key lock through the offline renderer: the pitch slider changes only the tempo, a key
// shift moves the pitch by semitones, and turning the lock on and off mid-song leaves no hole,
// no click and no jump in the song.
#include <gtest/gtest.h>

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
    Playing(double hz, int rate) : engine(files(hz).openers()) {
        EXPECT_TRUE(engine.initOffline(kRate));
        h = engine.streamCreateFile("song.mp3", 0);
        EXPECT_TRUE(engine.channelSetAttributes(h, rate, -1, -101));
        EXPECT_TRUE(engine.streamPlay(h, false, 0));
    }
    TestFiles& files(double hz) {
        songs.add("song.mp3", sineFile(kRate, 2, 30.0, hz, 0.5));
        return songs;
    }
    TestFiles songs;
    Engine engine;
    audio::Handle h = 0;
};

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

}  // namespace
}  // namespace kelvra::test
