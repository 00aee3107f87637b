#include "decks/DeckPlaces.h"

#include <gtest/gtest.h>

#include "support/FakeEngine.h"

namespace kelvra::decks {
namespace {

using namespace audio;
using test::FakeEngine;

// The units on the door must land where the byte procedures land: any drift here moves a cue,
// a loop point or a jump by a frame, and a render with it.
TEST(DeckPlaces, AgreeWithTheContractsConversionsToTheLastBit) {
    FakeEngine engine;
    AudioLibrary& library = engine;
    engine.addSong("/s.mp3", FakeEngine::mainSong(44100 * 4 * 600));
    engine.addSong("/m.mp3", FakeEngine::mainSong(22050 * 2 * 600, 22050, 1));
    engine.addSong("/o.mp3", FakeEngine::mainSong(48000 * 4 * 600, 48000));
    for (const char* path : {"/s.mp3", "/m.mp3", "/o.mp3"}) {
        const Handle handle = library.streamCreateFile(path, 0);
        const StreamId stream(handle);
        ASSERT_TRUE(stream) << path;
        // Places whose seconds a float cannot hold exactly.
        for (std::uint32_t bytes : {0u, 4u, 4001u, 1234567u, 98765432u, 105840000u}) {
            EXPECT_EQ(secondsAt(engine, stream, bytes),
                      double(library.channelBytes2Seconds(handle, bytes)))
                << path << " " << bytes;
            EXPECT_EQ(seekTo(engine, stream, bytes), library.channelSetPosition(handle, bytes));
            EXPECT_EQ(bytePosition(engine, stream), std::uint32_t(library.channelPosition(handle)));
        }
        constexpr std::uint32_t kProbe = 1u << 20;
        EXPECT_EQ(bytesPerSecond(engine, stream),
                  kProbe / double(library.channelBytes2Seconds(handle, kProbe)))
            << path;
    }

    // A part-frame rounds down; without a stream there is no place.
    const StreamId mono(2);
    EXPECT_EQ(framesAt(engine, mono, 4001), Frames(2000));
    EXPECT_EQ(framesAt(engine, StreamId(1), 4001), Frames(1000));
    EXPECT_EQ(framesAt(engine, StreamId(99), 4001), Frames(0));
    EXPECT_EQ(secondsAt(engine, StreamId(), 4000), 0.0);
    EXPECT_EQ(bytesPerSecond(engine, StreamId()), 0.0);
    EXPECT_FALSE(seekTo(engine, StreamId(1), 44100 * 4 * 600 + 4)) << "past the end";
}

}  // namespace
}  // namespace kelvra::decks
