// The unit types where byte positions, frames and rates meet: conversions by the layout, and
// mixing units refused at compile time.
#include "audio/Units.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace kelvra::audio {
namespace {

static_assert(!std::is_convertible_v<std::int64_t, Frames>, "a plain count is not frames");
static_assert(!std::is_convertible_v<Frames, BytePosition>, "frames are not bytes");
static_assert(!std::is_convertible_v<int, Hz>, "a plain number is not a rate");
static_assert(!std::is_constructible_v<Frames, Hz>, "a rate is not a length");

TEST(Units, BytesFramesAndSecondsConvertByTheLayoutAndRate) {
    constexpr PcmLayout stereo{2}, mono{1};
    EXPECT_EQ(framesIn(44100 * 4, stereo), Frames(44100));
    EXPECT_EQ(framesIn(44100 * 4, mono), Frames(88200));
    // A part-frame rounds down, as library positions do.
    EXPECT_EQ(framesIn(7, stereo), Frames(1));
    EXPECT_EQ(bytesOf(Frames(3), stereo), 12u);
    EXPECT_DOUBLE_EQ(secondsOf(Frames(22050), Hz(44100)), 0.5);
    EXPECT_DOUBLE_EQ(secondsOf(Frames(22050), Hz(0)), 0.0);
    // The deck procedures keep the low 32 bits of a position past 4 GiB.
    EXPECT_EQ(low32((BytePosition(1) << 32) + 5), 5u);
    EXPECT_EQ(low32(0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace kelvra::audio
