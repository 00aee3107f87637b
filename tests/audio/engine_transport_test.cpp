// The engine's stream contract: handles, transport states, positions, attributes, levels, tags
// and error codes, driven offline so every answer is deterministic.
#include <gtest/gtest.h>

#include "audio/EngineTestSupport.h"
#include "audio/ErrorText.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;
constexpr int kRate = 44100;

class EngineTransport : public ::testing::Test {
  protected:
    void SetUp() override {
        files.add("a.mp3", sineFile(kRate, 2, 1.0, 441.0, 0.5, 0.25));
        TestFile tagged = sineFile(kRate, 1, 0.5, 441.0);
        tagged.tags = std::string("TAG") + std::string(125, 'x');
        files.add("t.mp3", tagged);
        TestFile wma = sineFile(48000, 2, 0.5, 441.0);
        wma.tags = std::string("Title:Song\0Author:Someone\0\0", 27);
        files.add("w.wma", wma, true);
        engine = std::make_unique<Engine>(files.openers());
    }
    TestFiles files;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineTransport, StreamsOpenWithoutOutputAndGiveExactLengthsAndTags) {
    const audio::Handle a = engine->streamCreateFile("a.mp3", 0);
    const audio::Handle w = engine->wmaStreamCreateFile("w.wma", audio::kStreamAccurateSeek);
    ASSERT_NE(a, 0u);
    ASSERT_NE(w, 0u);
    EXPECT_NE(a, w);
    EXPECT_EQ(engine->streamLength(a), 44100u * 4);
    EXPECT_EQ(engine->wmaStreamLength(w), 24000u * 4);
    EXPECT_FLOAT_EQ(engine->channelBytes2Seconds(a, 44100 * 4), 1.0f);
    EXPECT_FLOAT_EQ(engine->channelBytes2Seconds(w, 12000 * 4), 0.25f);
    EXPECT_EQ(engine->channelAttributes(w)->rate, 48000);
    EXPECT_EQ(engine->channelAttributes(a)->volume, 100);
    EXPECT_EQ(engine->channelAttributes(a)->pan, 0);
    EXPECT_TRUE(engine->streamPreBuf(a));
    EXPECT_EQ(engine->wmaStreamTags(w), std::string_view("Title:Song\0Author:Someone\0\0", 27));

    // Each side opens only its own files; a failed open says why.
    EXPECT_EQ(engine->wmaStreamCreateFile("a.mp3", 0), 0u);
    EXPECT_EQ(engine->errorCode(), audio::kErrorFileOpen);
    EXPECT_EQ(engine->streamCreateFile("missing.mp3", 0), 0u);
    EXPECT_EQ(engine->errorCode(), audio::kErrorFileOpen);

    // Playing needs an output.
    EXPECT_FALSE(engine->streamPlay(a, false, 0));
    EXPECT_EQ(engine->errorCode(), audio::kErrorInit);
    EXPECT_EQ(engine->version(), audio::kContractVersion);
}

TEST_F(EngineTransport, TagsOnlyHandlesGiveTagsAndNothingElse) {
    const audio::Handle t = engine->streamCreateFile("t.mp3", audio::kStreamTagsOnly);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(engine->streamTags(t).size(), 128u);
    EXPECT_EQ(engine->streamTags(t).substr(0, 3), "TAG");
    EXPECT_EQ(engine->streamLength(t), 0u);
    EXPECT_NE(engine->errorCode(), audio::kErrorOk);
    EXPECT_FALSE(engine->streamPlay(t, false, 0));
    EXPECT_FALSE(engine->channelSetAttributes(t, 44100, 50, 0));
    EXPECT_TRUE(engine->streamFree(t));
    EXPECT_TRUE(engine->streamTags(t).empty());
    EXPECT_EQ(engine->errorCode(), audio::kErrorHandle);
}

TEST_F(EngineTransport, PlayPauseResumeStopAndFree) {
    ASSERT_TRUE(engine->initOffline(kRate));
    const audio::Handle h = engine->streamCreateFile("a.mp3", 0);
    EXPECT_EQ(engine->channelIsActive(h), audio::kStopped);
    EXPECT_FALSE(engine->channelPause(h));
    EXPECT_EQ(engine->errorCode(), audio::kErrorNotPlaying);
    EXPECT_FALSE(engine->channelResume(h));
    EXPECT_EQ(engine->errorCode(), audio::kErrorNotPaused);

    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    EXPECT_EQ(engine->errorCode(), audio::kErrorOk);
    EXPECT_EQ(engine->channelIsActive(h), audio::kPlaying);
    render(*engine, 4410);
    EXPECT_EQ(engine->channelPosition(h), 4410u * 4);  // positions advance at the playback rate
    // The level is the recent peak per side (the right side is at a quarter), 0 when not playing.
    const std::uint32_t level = engine->channelLevel(h);
    EXPECT_NEAR(double(level & 0xFFFF), 0.5 * 32767, 30);
    EXPECT_NEAR(double(level >> 16), 0.125 * 32767, 30);

    ASSERT_TRUE(engine->channelPause(h));
    EXPECT_EQ(engine->channelIsActive(h), audio::kPaused);
    EXPECT_EQ(engine->channelLevel(h), 0u);
    render(*engine, 1000);  // the fade out still plays
    const auto paused = engine->channelPosition(h);
    EXPECT_LE(paused, (4410u + 140) * 4);
    auto silent = render(*engine, 4410);
    EXPECT_EQ(peak(silent, 0, 0, 4410), 0);
    EXPECT_EQ(engine->channelPosition(h), paused);

    ASSERT_TRUE(engine->channelResume(h));
    EXPECT_EQ(engine->channelIsActive(h), audio::kPlaying);
    render(*engine, 1000);
    EXPECT_EQ(engine->channelPosition(h), paused + 1000 * 4);

    ASSERT_TRUE(engine->channelStop(h));
    EXPECT_EQ(engine->channelIsActive(h), audio::kStopped);
    EXPECT_FALSE(engine->channelResume(h));
    render(*engine, 1000);
    const auto stopped = engine->channelPosition(h);
    // Playing again goes on from the current position; the add-on call also resumes a pause.
    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    render(*engine, 100);
    EXPECT_EQ(engine->channelPosition(h), stopped + 100 * 4);
    ASSERT_TRUE(engine->channelPause(h));
    render(*engine, 1000);
    ASSERT_TRUE(engine->wmaStreamPlay(h));
    EXPECT_EQ(engine->channelIsActive(h), audio::kPlaying);

    // Playing to the end stops the stream at its length.
    render(*engine, 44100);
    EXPECT_EQ(engine->channelIsActive(h), audio::kStopped);
    EXPECT_EQ(engine->channelPosition(h), 44100u * 4);
    EXPECT_EQ(engine->channelLevel(h), 0u);

    // Freeing: 0 and freed handles are harmless; handles are never reused.
    EXPECT_TRUE(engine->streamFree(h));
    EXPECT_FALSE(engine->streamFree(h));
    EXPECT_FALSE(engine->wmaStreamFree(0));
    EXPECT_EQ(engine->channelIsActive(h), audio::kStopped);
    EXPECT_EQ(engine->errorCode(), audio::kErrorHandle);
    EXPECT_FALSE(engine->streamPlay(h, false, 0));
    EXPECT_EQ(engine->errorCode(), audio::kErrorHandle);
    const audio::Handle again = engine->streamCreateFile("a.mp3", 0);
    EXPECT_GT(again, h);
    EXPECT_TRUE(engine->wmaStreamFree(again));
}

TEST_F(EngineTransport, SetPositionIsSampleExactAndChecked) {
    ASSERT_TRUE(engine->initOffline(kRate));
    const TestFile file = sineFile(kRate, 2, 1.0, 441.0, 0.5, 0.25);
    const audio::Handle h = engine->streamCreateFile("a.mp3", 0);
    // A position inside a frame goes to the frame's start.
    ASSERT_TRUE(engine->channelSetPosition(h, 20000 * 4 + 3));
    EXPECT_EQ(engine->channelPosition(h), 20000u * 4);
    ASSERT_TRUE(engine->streamPreBuf(h));
    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    const auto out = render(*engine, 2000);
    for (std::size_t i = 140; i < 2000; ++i)
        ASSERT_EQ(out[2 * i], (*file.samples)[2 * (20000 + i)]) << "frame " << i;

    // Seeking while playing: after the fade-out of the old place, the new one follows exactly.
    ASSERT_TRUE(engine->channelSetPosition(h, 30000 * 4));
    EXPECT_EQ(engine->channelPosition(h), 30000u * 4);
    const auto moved = render(*engine, 2000);
    const std::size_t resumed = 2000 - std::size_t(engine->channelPosition(h) / 4 - 30000);
    EXPECT_LE(resumed, 140u);
    for (std::size_t i = resumed + 140; i < 2000; ++i)
        ASSERT_EQ(moved[2 * i], (*file.samples)[2 * (30000 + i - resumed)]) << "frame " << i;

    EXPECT_FALSE(engine->channelSetPosition(h, 44101 * 4));
    EXPECT_EQ(engine->errorCode(), audio::kErrorPosition);
    EXPECT_TRUE(engine->channelSetPosition(h, 44100 * 4));  // the very end is a place too
}

TEST_F(EngineTransport, AttributesKeepValuesAndRejectIllegalOnes) {
    const audio::Handle h = engine->streamCreateFile("a.mp3", 0);
    ASSERT_TRUE(engine->channelSetAttributes(h, 50000, 40, -30));
    ASSERT_TRUE(
        engine->channelSetAttributes(h, audio::kKeepRate, audio::kKeepVolume, audio::kKeepPan));
    auto a = engine->channelAttributes(h);
    EXPECT_EQ(a->rate, 50000);
    EXPECT_EQ(a->volume, 40);
    EXPECT_EQ(a->pan, -30);
    ASSERT_TRUE(engine->channelSetAttributes(h, 100, -1, 100));
    ASSERT_TRUE(engine->channelSetAttributes(h, 100000, 0, -101));
    a = engine->channelAttributes(h);
    EXPECT_EQ(a->rate, 100000);
    EXPECT_EQ(a->volume, 0);
    EXPECT_EQ(a->pan, 100);

    const int illegal[][3] = {{99, -1, -101}, {100001, -1, -101}, {0, -1, -101},  {-1, 101, -101},
                              {-1, -2, -101}, {-1, -1, 101},      {-1, -1, -102}, {44100, 50, 200}};
    for (const auto& values : illegal) {
        EXPECT_FALSE(engine->channelSetAttributes(h, values[0], values[1], values[2]));
        EXPECT_EQ(engine->errorCode(), audio::kErrorIllegalParam);
    }
    a = engine->channelAttributes(h);  // a rejected call changes nothing
    EXPECT_EQ(a->rate, 100000);
    EXPECT_EQ(a->volume, 0);
    EXPECT_EQ(a->pan, 100);
}

}  // namespace
}  // namespace kelvra::test
