// Jumps, loads and frees while a stream plays: through a real-time output whose decoder takes
// its time to seek, and through the offline renderer. A jump keeps the old place sounding until
// the new one is decoded and cross-fades; a stream leaving the mix fades out; neither is a
// dropout. An output that stops calling back makes commands fail instead of hang.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "audio/EngineTestSupport.h"
#include "support/CapturingOutput.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;
using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr double kTone = 441.0, kLevel = 0.5;

using Capture = CapturingOutput<std::int16_t>;

struct Ear {
    std::size_t quiet;  // longest hole, frames
    int step;           // largest sample step
};
Ear listen(const std::vector<std::int16_t>& heard, std::size_t from) {
    const std::size_t frames = heard.size() / 2;
    return {longestQuiet(heard, 0, from, frames), maxStep(heard, 0, from, frames)};
}

const double kSineStep = sineStep(kLevel, kTone, kRate);
constexpr std::size_t kMillisecond = kRate / 1000;

// A song playing live into a capturing output; `beforePlay` sets the stream up first.
struct LivePlay {
    explicit LivePlay(const TestFile& song,
                      const std::function<void(Engine&, audio::Handle)>& beforePlay = {})
        : engine((files.add("song.mp3", song), files.openers()), capturingInto(output)) {
        started = engine.init(-1, kRate, 0);
        h = engine.streamCreateFile("song.mp3", 0);
        if (beforePlay) beforePlay(engine, h);
        started = started && h != 0 && engine.streamPlay(h, false, 0);
    }
    TestFiles files;
    Capture* output = nullptr;
    Engine engine;
    audio::Handle h = 0;
    bool started = false;
};

// The places a deck jumps to: a cue point, the previous cue, a drop further on, at a pitch
// that plays straight and at one that goes through the resampler, with the key lock off and on.
class LiveJumps : public ::testing::TestWithParam<std::tuple<int, int, bool>> {};

TEST_P(LiveJumps, PlayOnWithoutAHoleOrAClickAndCountNoDropout) {
    const auto [seekMs, rate, keyLock] = GetParam();
    TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
    song.seekDelay = std::chrono::milliseconds(seekMs);
    LivePlay live(song, [rate = rate, keyLock = keyLock](Engine& engine, audio::Handle h) {
        EXPECT_TRUE(engine.channelSetAttributes(h, rate, -1, -101));
        EXPECT_TRUE(engine.setKeyLock(audio::StreamId(h), {keyLock, audio::Hz(0), 0}));
    });
    ASSERT_TRUE(live.started);
    Engine& engine = live.engine;
    Capture* const output = live.output;
    const audio::Handle h = live.h;
    std::this_thread::sleep_for(150ms);
    const std::size_t started = output->heard().size() / 2;
    const std::int64_t places[] = {30001, 441000, 30001, 200000, 5, 661500, 30001};
    for (const std::int64_t frame : places) {
        const auto before = std::chrono::steady_clock::now();
        ASSERT_TRUE(engine.channelSetPosition(h, audio::BytePosition(frame) * 4));
        ASSERT_TRUE(engine.streamPreBuf(h));
        // The window never waits for the decoder.
        EXPECT_LT(std::chrono::steady_clock::now() - before, 5ms);
        std::this_thread::sleep_for(90ms);
    }
    const std::vector<std::int16_t> heard = output->heard();
    const Ear ear = listen(heard, started);
    EXPECT_LE(ear.quiet, kMillisecond) << "seek " << seekMs << " ms, rate " << rate;
    EXPECT_LE(ear.step, 1.5 * sineStep(kLevel, keyLock ? kTone : kTone * rate / kRate, kRate));
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
    // The position reads the new place once it is heard.
    const double seconds = engine.channelBytes2Seconds(h, engine.channelPosition(h));
    EXPECT_GT(seconds, 30001.0 / kRate);
    EXPECT_LT(seconds, 30001.0 / kRate + 0.2);
    engine.release();
}

INSTANTIATE_TEST_SUITE_P(SeekTimesAndPaths, LiveJumps,
                         ::testing::Combine(::testing::Values(0, 10, 30),
                                            ::testing::Values(kRate, 46000), ::testing::Bool()));

// A place kept warm plays within a period of the jump even when the decoder takes 30 ms to get
// there; the same jump cold waits for the decoder (on the old place's sound).
TEST(LiveJumps, AJumpToAWarmPlacePlaysWithinAPeriod) {
    // A loud tone with a silent stretch at the cue: where the output falls silent, the jump has
    // been heard.
    TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
    constexpr std::int64_t kCue = 300000;
    auto samples = std::make_shared<std::vector<std::int16_t>>(*song.samples);
    std::fill(samples->begin() + 2 * kCue, samples->begin() + 2 * (kCue + kRate), 0);
    song.samples = samples;
    song.seekDelay = 30ms;
    LivePlay live(song);
    ASSERT_TRUE(live.started);
    Engine& engine = live.engine;
    Capture* const output = live.output;
    const audio::Handle h = live.h;
    const auto heardAfterJump = [&](bool warm) {
        if (warm) {
            ASSERT_TRUE(engine.keepWarm(audio::StreamId(h), 0, audio::Frames(kCue)));
        }
        std::this_thread::sleep_for(300ms);  // room for the worker to fill the slot
        const std::size_t asked = output->heard().size() / 2;
        ASSERT_TRUE(engine.channelSetPosition(h, audio::BytePosition(kCue) * 4));
        std::this_thread::sleep_for(150ms);
        const std::vector<std::int16_t> heard = output->heard();
        std::size_t silent = asked;
        while (silent + 16 < heard.size() / 2 && peak(heard, 0, silent, silent + 16) > 64)
            ++silent;
        const std::size_t latency = silent - asked;
        const std::size_t period = audio::engine::kOutputPeriod;
        if (warm) {
            // The command waits for the next period at most, then the fade takes 3 ms.
            EXPECT_LE(latency, 2 * period + 3 * kMillisecond);
        } else {
            EXPECT_GE(latency, 25 * kMillisecond);
        }
        ASSERT_TRUE(engine.channelSetPosition(h, 0));
    };
    heardAfterJump(false);
    heardAfterJump(true);
    heardAfterJump(true);  // and again: the slot stays warm after a jump has read it
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
    engine.release();
}

// A song whose every frame tells where it is: the left sample the low 14 bits of the frame
// number, the right the high ones, both kept off the full scale.
TestFile positionCodedFile(std::int64_t frames) {
    auto samples = std::make_shared<std::vector<std::int16_t>>(std::size_t(frames) * 2);
    for (std::int64_t i = 0; i < frames; ++i) {
        (*samples)[std::size_t(2 * i)] = std::int16_t((i & 0x3FFF) - 0x2000);
        (*samples)[std::size_t(2 * i + 1)] = std::int16_t((i >> 14) - 0x2000);
    }
    TestFile f;
    f.samples = samples;
    return f;
}
std::int64_t frameHeard(const std::vector<std::int16_t>& heard, std::size_t at) {
    return (std::int64_t(heard[2 * at + 1]) + 0x2000) << 14 | (heard[2 * at] + 0x2000);
}

// A hundred and fifty jumps at random moments, many while the last one is still on its way and some
// in the middle of a cross-fade, with a decoder that takes up to 30 ms to seek. Between jumps the
// output must run on frame by frame, and every stretch it plays must begin at a place that was
// asked for, in the order asked: a skip, a stretch played twice or a place never asked for is
// a fault a DJ hears.
class JumpSoak : public ::testing::TestWithParam<int> {};  // the decoder's seek time, ms

TEST_P(JumpSoak, RandomJumpsPlayOnlyWhatWasAskedInOrder) {
    constexpr std::int64_t kFrames = 60 * kRate;
    TestFile song = positionCodedFile(kFrames);
    song.seekDelay = std::chrono::milliseconds(GetParam());
    LivePlay live(song, [](Engine& engine, audio::Handle h) {
        EXPECT_TRUE(engine.keepWarm(audio::StreamId(h), 0, audio::Frames(100000)));
    });
    ASSERT_TRUE(live.started);
    Engine& engine = live.engine;
    Capture* const output = live.output;
    const audio::Handle h = live.h;
    std::mt19937 random(2026 + unsigned(GetParam()));
    std::uniform_int_distribution<std::int64_t> place(0, kFrames - 5 * kRate);
    std::uniform_int_distribution<int> wait(1, 60);
    std::vector<std::int64_t> asked = {0};
    for (int i = 0; i < 150; ++i) {
        // A third of the jumps go to the warm place, as a cue jump would.
        const std::int64_t frame = i % 3 == 0 ? 100000 : place(random);
        ASSERT_TRUE(engine.channelSetPosition(h, audio::BytePosition(frame) * 4));
        asked.push_back(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait(random)));
    }
    std::this_thread::sleep_for(200ms);
    const std::vector<std::int16_t> heard = output->heard();
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
    engine.release();

    // Cut what was heard into stretches that run on frame by frame; the frames between them are
    // cross-fades, which blend two places and read as neither.
    std::size_t next = 0;  // the earliest asked place a stretch may still begin at
    std::size_t stretches = 0, blended = 0;
    const std::size_t frames = heard.size() / 2;
    for (std::size_t at = 0; at + 1 < frames;) {
        std::size_t end = at + 1;
        while (end < frames && frameHeard(heard, end) == frameHeard(heard, end - 1) + 1)
            ++end;
        if (end - at < 3 * kMillisecond) {
            blended += end - at;
            at = end;
            continue;
        }
        // The stretch begins at an asked place, or as far past it as the fade took.
        const std::int64_t first = frameHeard(heard, at);
        std::size_t match = next;
        while (match < asked.size() &&
               !(first >= asked[match] && first <= asked[match] + std::int64_t(4 * kMillisecond)))
            ++match;
        ASSERT_LT(match, asked.size()) << "a stretch at frame " << first << " (heard at " << at
                                       << ") begins at no place asked for after #" << next;
        next = match + 1;
        ++stretches;
        at = end;
    }
    EXPECT_GT(stretches, 40u);
    // Each jump blends at most its fade (and a jump during a fade, two); the output is silent
    // for a moment before the stream starts.
    EXPECT_LE(blended, asked.size() * 8 * kMillisecond + 100 * kMillisecond);
    // The last place asked for is what plays at the end.
    EXPECT_EQ(next, asked.size());
}

INSTANTIATE_TEST_SUITE_P(SeekTimes, JumpSoak, ::testing::Values(2, 12, 30));

TEST(LiveLoads, FreeingAPlayingStreamFadesItOutOnEveryPath) {
    TestFiles files;
    files.add("a.mp3", sineFile(kRate, 2, 10.0, kTone, kLevel));
    files.add("b.mp3", sineFile(kRate, 2, 10.0, kTone, kLevel));
    Capture* output = nullptr;
    Engine engine(files.openers(), capturingInto(output));
    ASSERT_TRUE(engine.init(-1, kRate, 0));
    audio::Handle h = engine.streamCreateFile("a.mp3", 0);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(100ms);
    // A load onto the playing deck: the old stream goes, the new one starts at once.
    ASSERT_TRUE(engine.streamFree(h));
    h = engine.streamCreateFile("b.mp3", 0);
    ASSERT_TRUE(engine.channelSetPosition(h, 12345 * 4));
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(100ms);
    // Shutdown with the stream playing.
    const auto record = output->record();
    engine.release();
    const std::vector<std::int16_t> heard = record->heard;
    ASSERT_GT(heard.size(), 2u * kRate / 10);
    EXPECT_LE(maxStep(heard, 0, 1, heard.size() / 2), 1.5 * kSineStep);
    EXPECT_LE(std::abs(int(heard[heard.size() - 2])), 64) << "the output ends on silence";
}

TEST(LiveCommands, AnOutputThatStopsCallingBackMakesCallsFailInsteadOfHang) {
    LivePlay live(sineFile(kRate, 2, 10.0, kTone, kLevel));
    ASSERT_TRUE(live.started);
    Engine& engine = live.engine;
    Capture* const output = live.output;
    const audio::Handle h = live.h;
    output->freeze();
    const auto before = std::chrono::steady_clock::now();
    bool failed = false;
    for (int i = 0; i < 5000 && !failed; ++i)
        failed = !engine.channelSetPosition(h, audio::BytePosition(i) * 4);
    EXPECT_TRUE(failed);
    EXPECT_EQ(engine.errorCode(), audio::kErrorStart);
    // The first failure waits out the deadline once; the next ones answer at once.
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.channelPause(h));
    EXPECT_LT(std::chrono::steady_clock::now() - again, 50ms);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    output->stop();
}

// Offline the renderer waits for the decoder, so a jump lands exactly where it is asked and the
// render is the same on every run.
TEST(OfflineJumps, CrossFadeAtTheAskedPlaceAndRenderTheSameEveryTime) {
    const auto run = [] {
        TestFiles files;
        TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
        song.seekDelay = 3ms;
        files.add("song.mp3", song);
        files.add("next.mp3", sineFile(kRate, 2, 10.0, kTone, kLevel));
        Engine engine(files.openers());
        EXPECT_TRUE(engine.initOffline(kRate));
        audio::Handle h = engine.streamCreateFile("song.mp3", 0);
        EXPECT_TRUE(engine.streamPlay(h, false, 0));
        std::vector<std::int16_t> heard = render(engine, 4410);
        const auto more = [&](std::int64_t frames) {
            const auto out = render(engine, frames);
            heard.insert(heard.end(), out.begin(), out.end());
        };
        for (const std::int64_t frame : {30001, 441000, 30001, 7}) {
            EXPECT_TRUE(engine.channelSetPosition(h, audio::BytePosition(frame) * 4));
            more(3000);
            const double at = engine.channelBytes2Seconds(h, engine.channelPosition(h)) * kRate;
            EXPECT_NEAR(at, double(frame + 3000), 2.0);
        }
        // Two jumps within one period, and one at a pitch through the resampler.
        EXPECT_TRUE(engine.channelSetPosition(h, 100000 * 4));
        more(50);
        EXPECT_TRUE(engine.channelSetPosition(h, 150000 * 4));
        more(3000);
        EXPECT_TRUE(engine.channelSetAttributes(h, 47000, -1, -101));
        more(3000);
        EXPECT_TRUE(engine.channelSetPosition(h, 30001 * 4));
        more(3000);
        // A load onto the playing deck.
        EXPECT_TRUE(engine.streamFree(h));
        h = engine.streamCreateFile("next.mp3", 0);
        EXPECT_TRUE(engine.streamPlay(h, false, 0));
        more(3000);
        EXPECT_EQ(engine.stats().starvedFrames, 0u);
        return heard;
    };
    const std::vector<std::int16_t> first = run();
    const Ear ear = listen(first, 200);
    EXPECT_LE(ear.quiet, kMillisecond);
    EXPECT_LE(ear.step, 1.5 * sineStep(kLevel, kTone * 47000 / kRate, kRate));
    EXPECT_EQ(first, run());
}

// A loop whose length is no whole number of the tone's cycles: without its seam blend every
// pass would start with a step.
constexpr std::int64_t kLoopStart = 2 * kRate, kLoopLength = kRate / 2 + 37;

TEST(OfflineLoops, ALoopRepeatsExactlyItsLengthForHundredsOfPassesWithoutAClick) {
    TestFiles files;
    TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
    song.seekDelay = 2ms;
    files.add("song.mp3", song);
    Engine engine(files.openers());
    ASSERT_TRUE(engine.initOffline(kRate));
    const audio::Handle h = engine.streamCreateFile("song.mp3", 0);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::vector<std::int16_t> heard = render(engine, kRate);
    const std::int64_t end = kLoopStart + kLoopLength;
    ASSERT_TRUE(
        engine.setLoop(audio::StreamId(h), {audio::Frames(kLoopStart), audio::Frames(end)}));
    const int passes = 200;
    const auto more = render(engine, end - kRate + passes * kLoopLength);
    heard.insert(heard.end(), more.begin(), more.end());

    // Straight on to the loop's end, then the loop again and again, sample for sample the song's
    // own audio but for the seam at the start of each pass.
    const std::vector<std::int16_t>& pcm = *song.samples;
    const int seam = audio::engine::DecodeWorker::kSeamFrames;
    std::size_t wrong = 0;
    for (std::int64_t t = kRate / 2; t < end + passes * kLoopLength; ++t) {
        const std::int64_t into = t < end ? -1 : (t - end) % kLoopLength;
        if (into >= 0 && into < seam) continue;
        const std::int64_t frame = into < 0 ? t : kLoopStart + into;
        if (heard[2 * std::size_t(t)] != pcm[2 * std::size_t(frame)]) ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << "the loop drifted from its length";
    const Ear ear = listen(heard, kRate / 2);
    EXPECT_LE(ear.quiet, kMillisecond);
    EXPECT_LE(ear.step, 1.5 * kSineStep) << "a seam clicked";
    EXPECT_EQ(engine.stats().starvedFrames, 0u);
    // The position follows each pass.
    const double at = engine.channelBytes2Seconds(h, engine.channelPosition(h)) * kRate;
    EXPECT_GE(at, double(kLoopStart));
    EXPECT_LE(at, double(end));
}

TEST(OfflineLoops, ALoopAlreadyPassedKeepsTheBeatAndLeavingItGoesStraightOn) {
    TestFiles files;
    TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
    files.add("song.mp3", song);
    Engine engine(files.openers());
    ASSERT_TRUE(engine.initOffline(kRate));
    const audio::Handle h = engine.streamCreateFile("song.mp3", 0);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::vector<std::int16_t> heard = render(engine, 3 * kRate);  // past the loop's end
    const auto more = [&](std::int64_t frames) {
        const auto out = render(engine, frames);
        heard.insert(heard.end(), out.begin(), out.end());
    };
    const std::int64_t end = kLoopStart + kLoopLength;
    ASSERT_TRUE(
        engine.setLoop(audio::StreamId(h), {audio::Frames(kLoopStart), audio::Frames(end)}));
    more(kRate);
    // As far into the loop as the music would be had it looped all along.
    const auto at = [&] {
        return std::int64_t(
            std::llround(engine.channelBytes2Seconds(h, engine.channelPosition(h)) * kRate));
    };
    const std::int64_t played = std::int64_t(heard.size() / 2);
    EXPECT_NEAR(double(at()), double(kLoopStart + (played - kLoopStart) % kLoopLength), 2.0);
    // Out of the loop: on from where it is, and past the loop's end.
    ASSERT_TRUE(engine.setLoop(audio::StreamId(h), {}));
    more(2 * kRate);
    const std::int64_t now = at();
    EXPECT_GT(now, end + kRate);
    const std::vector<std::int16_t>& pcm = *song.samples;
    const std::int64_t last = std::int64_t(heard.size() / 2);
    for (std::int64_t back = 1; back < kRate; ++back)
        ASSERT_EQ(heard[2 * std::size_t(last - back)], pcm[2 * std::size_t(now - back)])
            << "not straight on " << back << " frames back";
    const Ear ear = listen(heard, kRate / 2);
    EXPECT_LE(ear.quiet, kMillisecond);
    EXPECT_LE(ear.step, 1.5 * kSineStep);
}

// Straight through and through the resampler, whose read runs further ahead of what is heard:
// a loop change must take over where the read is, not where the ear is, or the deck falls
// silent for good once the old place's audio runs out.
class LiveLoops : public ::testing::TestWithParam<int> {};

TEST_P(LiveLoops, LoopsSetAndLeftWhilePlayingNeverStarveOrClick) {
    const int rate = GetParam();
    TestFile song = sineFile(kRate, 2, 20.0, kTone, kLevel);
    song.seekDelay = 10ms;
    LivePlay live(song, [rate](Engine& engine, audio::Handle h) {
        EXPECT_TRUE(engine.channelSetAttributes(h, rate, -1, -101));
    });
    ASSERT_TRUE(live.started);
    Engine& engine = live.engine;
    Capture* const output = live.output;
    const audio::Handle h = live.h;
    std::this_thread::sleep_for(150ms);
    const std::size_t started = output->heard().size() / 2;
    const auto position = [&] {
        return std::int64_t(
            std::llround(engine.channelBytes2Seconds(h, engine.channelPosition(h)) * kRate));
    };
    // Short loops where the deck is, longer ones, one already passed, and out again.
    for (const std::int64_t length : {kRate / 8 + 11, kRate / 2 + 37, 3000, 0, kRate / 4 + 5, 0}) {
        const std::int64_t start = std::max<std::int64_t>(0, position() - 1000);
        ASSERT_TRUE(
            engine.setLoop(audio::StreamId(h),
                           {audio::Frames(start), audio::Frames(length ? start + length : 0)}));
        std::this_thread::sleep_for(400ms);
    }
    // Out of the last loop the deck plays on.
    const std::int64_t before = position();
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(position(), before + kRate / 10) << "the deck stopped moving, rate " << rate;
    const Ear ear = listen(output->heard(), started);
    EXPECT_LE(ear.quiet, kMillisecond) << "rate " << rate;
    EXPECT_LE(ear.step, 1.5 * sineStep(kLevel, kTone * rate / kRate, kRate)) << "rate " << rate;
    EXPECT_EQ(engine.stats().starvedFrames, 0u) << "rate " << rate;
    engine.release();
}

INSTANTIATE_TEST_SUITE_P(Paths, LiveLoops, ::testing::Values(kRate, 46000, 40000));

}  // namespace
}  // namespace kelvra::test
