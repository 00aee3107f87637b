// Late device periods told from the stream times alone.
#include "audio/engine/LateCallbacks.h"

#include <gtest/gtest.h>

namespace kelvra::test {
namespace {

using audio::engine::LateCallbacks;
constexpr int kRate = 48000;
constexpr unsigned long kFrames = 480;  // 10 ms
constexpr double kPeriod = 0.010;

TEST(LateCallbacks, OnlyPeriodsPastTheirDeadlineOrSkippedCount) {
    LateCallbacks late;
    // On time: each callback runs 20 ms ahead of its output, periods follow each other.
    int counted = 0;
    for (int i = 0; i < 100; ++i) {
        const double due = 1.0 + i * kPeriod;
        counted += late.late(due - 0.020, due, kFrames, kRate);
    }
    EXPECT_EQ(counted, 0);
    // Jitter within a quarter period is no dropout.
    EXPECT_FALSE(late.late(1.980, 2.0 + 0.002, kFrames, kRate));

    // The callback runs after its audio was due: late.
    EXPECT_TRUE(late.late(2.0205, 2.012, kFrames, kRate));
    // The output time jumps three periods ahead: the device skipped them.
    EXPECT_TRUE(late.late(2.030, 2.052, kFrames, kRate));
    EXPECT_FALSE(late.late(2.040, 2.062, kFrames, kRate));

    // While a new stream settles (its first half second) the server's times are not judged.
    LateCallbacks fresh;
    EXPECT_FALSE(fresh.late(1.030, 1.0, kFrames, kRate));
    for (int i = 1; i < 50; ++i)
        fresh.late(1.0 + i * kPeriod - 0.020, 1.0 + i * kPeriod, kFrames, kRate);
    EXPECT_TRUE(fresh.late(1.530, 1.5, kFrames, kRate));

    // Hosts that give no times never count.
    LateCallbacks blind;
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(blind.late(0, 0, kFrames, kRate));
}

}  // namespace
}  // namespace kelvra::test
