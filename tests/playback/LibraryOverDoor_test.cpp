#include "audio/LibraryOverDoor.h"

#include <gtest/gtest.h>

#include "support/FakeEngine.h"

namespace kelvra::audio {
namespace {

using test::FakeEngine;

// The contract over a fake door: what the byte procedures see must be what the door holds.
class LibraryOverDoorTest : public ::testing::Test {
  protected:
    LibraryOverDoorTest() {
        engine.addSong("/m/stereo.mp3", FakeEngine::mainSong(44100 * 4 * 10));
        engine.addSong("/m/mono.mp3", FakeEngine::mainSong(22050 * 2 * 10, 22050, 1));
        engine.addSong("/m/song.wma", FakeEngine::addonSong(44100 * 4 * 10));
        stereo = library.streamCreateFile("/m/stereo.mp3", 0);
        mono = library.streamCreateFile("/m/mono.mp3", 0);
    }

    FakeEngine engine;
    AudioLibrary& library = engine;
    Handle stereo = 0, mono = 0;
};

TEST_F(LibraryOverDoorTest, BytePositionsAreWholeFramesOfTheStreamsOwnLayout) {
    ASSERT_NE(stereo, 0u);
    ASSERT_NE(mono, 0u);
    EXPECT_EQ(library.streamLength(stereo), BytePosition{44100 * 4 * 10});
    EXPECT_EQ(library.streamLength(mono), BytePosition{22050 * 2 * 10});

    // A part-frame rounds down, as the engine's positions do.
    EXPECT_TRUE(library.channelSetPosition(stereo, 4001));
    EXPECT_EQ(engine.stream(stereo)->position, Frames(1000));
    EXPECT_EQ(library.channelPosition(stereo), BytePosition{4000});
    EXPECT_TRUE(library.channelSetPosition(mono, 4001));
    EXPECT_EQ(engine.stream(mono)->position, Frames(2000));
    EXPECT_EQ(library.channelPosition(mono), BytePosition{4000});

    // Past the end is refused and says so; the place stays.
    EXPECT_FALSE(library.channelSetPosition(stereo, 44100 * 4 * 10 + 4));
    EXPECT_EQ(library.errorCode(), kErrorPosition);
    EXPECT_EQ(library.channelPosition(stereo), BytePosition{4000});

    // Seconds in single precision, per stream.
    EXPECT_EQ(library.channelBytes2Seconds(stereo, 44100 * 4), 1.0f);
    EXPECT_EQ(library.channelBytes2Seconds(mono, 44100 * 4), 4.0f);
    EXPECT_EQ(library.channelBytes2Seconds(stereo + 100, 4), 0.0f);
    EXPECT_EQ(library.errorCode(), kErrorHandle);
}

TEST_F(LibraryOverDoorTest, AttributesChangeTogetherOrNotAtAll) {
    EXPECT_TRUE(library.channelSetAttributes(stereo, 40000, 70, -30));
    EXPECT_EQ(library.channelAttributes(stereo)->rate, 40000);
    EXPECT_EQ(library.channelAttributes(stereo)->volume, 70);
    EXPECT_EQ(library.channelAttributes(stereo)->pan, -30);

    // One value out of range: nothing changes and the reason is the parameter.
    EXPECT_FALSE(library.channelSetAttributes(stereo, 30000, 101, 0));
    EXPECT_EQ(library.errorCode(), kErrorIllegalParam);
    EXPECT_FALSE(library.channelSetAttributes(stereo, 50, 20, 0));
    EXPECT_FALSE(library.channelSetAttributes(stereo, 30000, 20, -102));
    const Attributes kept = *library.channelAttributes(stereo);
    EXPECT_EQ(kept.rate, 40000);
    EXPECT_EQ(kept.volume, 70);
    EXPECT_EQ(kept.pan, -30);

    // The values that leave a setting alone.
    EXPECT_TRUE(library.channelSetAttributes(stereo, kKeepRate, kKeepVolume, 25));
    EXPECT_EQ(library.channelAttributes(stereo)->rate, 40000);
    EXPECT_EQ(library.channelAttributes(stereo)->pan, 25);
    EXPECT_TRUE(library.channelSetAttributes(stereo, kKeepRate, kKeepVolume, kKeepPan));
    EXPECT_FALSE(library.channelSetAttributes(0, kKeepRate, kKeepVolume, kKeepPan));
    EXPECT_EQ(library.errorCode(), kErrorHandle);
}

TEST_F(LibraryOverDoorTest, ActivityLevelsAndTwinsComeFromTheDoor) {
    EXPECT_EQ(library.channelIsActive(stereo), kStopped);
    EXPECT_TRUE(library.streamPlay(stereo, false, 0));
    EXPECT_EQ(library.channelIsActive(stereo), kPlaying);
    EXPECT_TRUE(library.channelPause(stereo));
    EXPECT_EQ(library.channelIsActive(stereo), kPaused);
    EXPECT_EQ(library.channelLevel(stereo), 0u) << "a paused stream is silent";
    EXPECT_TRUE(library.channelResume(stereo));
    engine.stream(stereo)->peaks = {1000, 20000};
    EXPECT_EQ(library.channelLevel(stereo), (20000u << 16) | 1000u);

    // A flushed start begins at the start.
    ASSERT_TRUE(library.channelSetPosition(stereo, 8000));
    EXPECT_TRUE(library.streamPlay(stereo, true, 0));
    EXPECT_EQ(library.channelPosition(stereo), 0u);

    // The add-on side opens only its own songs; once open, each twin is its main-side call.
    EXPECT_EQ(library.wmaStreamCreateFile("/m/stereo.mp3", 0), 0u);
    const Handle wma = library.wmaStreamCreateFile("/m/song.wma", 0);
    ASSERT_NE(wma, 0u);
    EXPECT_TRUE(library.wmaChannelSetPosition(wma, 400));
    EXPECT_EQ(library.wmaChannelPosition(wma), 400u);
    EXPECT_EQ(library.channelPosition(wma), 400u);
    EXPECT_EQ(library.wmaStreamLength(wma), library.streamLength(wma));
    EXPECT_TRUE(library.wmaStreamPlay(wma));
    EXPECT_EQ(library.channelIsActive(wma), kPlaying);
    EXPECT_TRUE(library.wmaStreamFree(wma));
    EXPECT_FALSE(library.streamFree(wma)) << "freed once only";
}

}  // namespace
}  // namespace kelvra::audio
