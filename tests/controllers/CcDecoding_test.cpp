// Encoder steps in both relative forms, and 14-bit pairing: no jump when a fader crosses an MSB
// boundary, and controllers that send no LSB. Soft takeover is tested through the mapper.
#include <gtest/gtest.h>

#include "controllers/CcDecoding.h"

namespace kelvra::controllers {
namespace {

TEST(CcDecoding, RelativeStepsInBothFormsAndInverted) {
    const struct {
        CcMode mode;
        int value;
        int steps;
    } cases[] = {
        {CcMode::Relative, 0, 0},      {CcMode::Relative, 1, 1},     {CcMode::Relative, 63, 63},
        {CcMode::Relative, 127, -1},   {CcMode::Relative, 65, -63},  {CcMode::Relative, 64, -64},
        {CcMode::Relative64, 64, 0},   {CcMode::Relative64, 65, 1},  {CcMode::Relative64, 63, -1},
        {CcMode::Relative64, 127, 63}, {CcMode::Relative64, 0, -64}, {CcMode::Absolute, 100, 0},
        {CcMode::FourteenBit, 5, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(relativeSteps(c.mode, c.value, Direction::Normal), c.steps)
            << int(c.mode) << " " << c.value;
        EXPECT_EQ(relativeSteps(c.mode, c.value, Direction::Inverted), -c.steps)
            << int(c.mode) << " " << c.value;
    }
}

TEST(CcDecoding, FourteenBitPairsMsbWithItsLsbAndNeverJumps) {
    FourteenBitPair pair;
    EXPECT_EQ(pair.lsb(10), std::nullopt);  // no MSB yet: nowhere known
    EXPECT_EQ(pair.msb(0x3F), std::nullopt);
    EXPECT_EQ(pair.lsb(0x7F), 0x3F << 7 | 0x7F);
    // A fader moved slowly down across an MSB boundary: 64/0 then 63/127. The MSB 63 alone is
    // held, so the position never dips to 63/0 on the way.
    EXPECT_EQ(pair.msb(64), std::nullopt);
    EXPECT_EQ(pair.lsb(0), 64 << 7);
    EXPECT_EQ(pair.msb(63), std::nullopt);
    EXPECT_EQ(pair.lsb(127), 63 << 7 | 127);
    // Only the LSB changed: it pairs with the last MSB.
    EXPECT_EQ(pair.lsb(100), 63 << 7 | 100);
    EXPECT_EQ(pair.lsb(101), 63 << 7 | 101);

    // A controller that sends no LSB: the second MSB in a row shows it, and from then on each
    // MSB counts, 127 reaching the very top.
    FourteenBitPair coarse;
    EXPECT_EQ(coarse.msb(10), std::nullopt);
    EXPECT_EQ(coarse.msb(11), 11 << 7 | 11);
    EXPECT_EQ(coarse.msb(127), 16383);
    EXPECT_EQ(coarse.msb(0), 0);
    // An LSB after all: back to pairing.
    EXPECT_EQ(coarse.lsb(5), 5);
    EXPECT_EQ(coarse.msb(1), std::nullopt);
    EXPECT_EQ(coarse.lsb(0), 128);
}

}  // namespace
}  // namespace kelvra::controllers
