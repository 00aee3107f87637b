// Random transport sequences checked against a plain state table: what each call answers, what
// channelIsActive() says, and how far the position moves.
#include <gtest/gtest.h>

#include <random>

#include "audio/EngineTestSupport.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;

enum class State { Stopped, Playing, Paused };
constexpr std::int64_t kLength = 30000;  // frames: short, so the end comes up often
constexpr std::int64_t kFadeFrames = 140;

TEST(EngineModel, RandomTransportFollowsTheStateTable) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TestFiles files;
        files.add("a.mp3", sineFile(44100, 2, double(kLength) / 44100, 441.0));
        Engine engine(files.openers());
        ASSERT_TRUE(engine.initOffline(44100));
        const audio::Handle h = engine.streamCreateFile("a.mp3", 0);
        State state = State::Stopped;
        std::int64_t position = 0;
        const auto frameAt = [&] { return std::int64_t(engine.channelPosition(h) / 4); };
        // Renders after a change that fades; the position lands within the fade of the plain
        // answer.
        const auto settle = [&] {
            render(engine, 200);
            const std::int64_t now = frameAt();
            if (state == State::Playing) {
                const std::int64_t expected = std::min(position + 200, kLength);
                EXPECT_GE(now, std::min(expected - kFadeFrames, kLength));
                EXPECT_LE(now, expected);
                if (now == kLength) state = State::Stopped;
            } else {
                EXPECT_GE(now, position);
                EXPECT_LE(now, position + kFadeFrames);
            }
            position = now;
        };

        for (int step = 0; step < 300; ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            switch (random() % 7) {
                case 0:  // play, either entry point
                    ASSERT_TRUE(random() % 2 ? engine.streamPlay(h, false, 0)
                                             : engine.wmaStreamPlay(h));
                    if (position >= kLength) {
                        render(engine, 1);
                        EXPECT_EQ(engine.channelIsActive(h), audio::kStopped);
                    } else {
                        state = State::Playing;
                    }
                    break;
                case 1:
                    EXPECT_EQ(engine.channelPause(h), state == State::Playing);
                    if (state != State::Playing) {
                        EXPECT_EQ(engine.errorCode(), audio::kErrorNotPlaying);
                    } else {
                        state = State::Paused;
                        settle();
                    }
                    break;
                case 2:
                    EXPECT_EQ(engine.channelResume(h), state == State::Paused);
                    if (state != State::Paused)
                        EXPECT_EQ(engine.errorCode(), audio::kErrorNotPaused);
                    else
                        state = State::Playing;
                    break;
                case 3: {
                    ASSERT_TRUE(engine.channelStop(h));
                    const bool wasPlaying = state == State::Playing;
                    state = State::Stopped;
                    if (wasPlaying) settle();
                    break;
                }
                case 4: {
                    const std::int64_t target = std::int64_t(random() % (kLength + 1));
                    ASSERT_TRUE(engine.channelSetPosition(h, audio::BytePosition(target) * 4));
                    EXPECT_EQ(frameAt(), target);
                    const bool wasPlaying = state == State::Playing;
                    if (wasPlaying) {
                        render(engine, 200);  // fade out, then the new place
                        const std::int64_t now = frameAt();
                        EXPECT_GE(now, std::min(target + 200 - kFadeFrames, kLength));
                        EXPECT_LE(now, std::min(target + 200, kLength));
                        position = now;
                        if (now == kLength) state = State::Stopped;
                    } else {
                        position = target;
                    }
                    break;
                }
                case 5: {
                    const std::int64_t frames = std::int64_t(random() % 3000);
                    render(engine, frames);
                    if (state == State::Playing) {
                        position = std::min(position + frames, kLength);
                        if (position == kLength && frames > 0) state = State::Stopped;
                    }
                    EXPECT_EQ(frameAt(), position);
                    break;
                }
                case 6: {
                    const int volume = int(random() % 101), pan = int(random() % 201) - 100;
                    ASSERT_TRUE(engine.channelSetAttributes(h, -1, volume, pan));
                    break;
                }
            }
            const int expected = state == State::Playing  ? audio::kPlaying
                                 : state == State::Paused ? audio::kPaused
                                                          : audio::kStopped;
            ASSERT_EQ(engine.channelIsActive(h), expected);
            if (state != State::Playing) {
                EXPECT_EQ(engine.channelLevel(h), 0u);
            }
        }
    }
}

}  // namespace
}  // namespace kelvra::test
