// Silence after a loud passage must not leave the real-time path computing subnormal numbers:
// the mixing scope flushes them on its thread and gives the thread its mode back afterwards, and
// the units that keep state (the scratch DC blocker, the deck's EQ and filter) decay to true
// zeros even on a thread without the switch.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/engine/AudioThread.h"
#include "audio/engine/DeckFx.h"
#include "audio/engine/Scratch.h"

namespace kelvra::audio::engine {
namespace {

constexpr int kRate = 44100;

bool subnormal(float value) {
    return std::fpclassify(value) == FP_SUBNORMAL;
}

// The product of two normal floats whose exact value is subnormal, computed at run time.
float tinyProduct() {
    volatile float small = 1e-30f;
    volatile float factor = 1e-10f;
    return small * factor;
}

TEST(MixingScope, FlushesSubnormalsOnItsThreadOnlyAndRestoresTheModeAfterwards) {
#if !(defined(__SSE__) || defined(__aarch64__))
    GTEST_SKIP() << "this processor offers no flush switch; the units flush their own state";
#endif
    ASSERT_FALSE(denormalsFlushed()) << "the test thread starts in the default mode";
    EXPECT_TRUE(subnormal(tinyProduct()));
    {
        const MixingScope mixing(ThreadRole::Offline);
        EXPECT_TRUE(denormalsFlushed());
        EXPECT_EQ(threadRole(), ThreadRole::Offline);
        EXPECT_EQ(tinyProduct(), 0.0f);
        {
            const MixingScope nested(ThreadRole::Device);
            EXPECT_TRUE(denormalsFlushed());
        }
        EXPECT_TRUE(denormalsFlushed()) << "a nested scope ended the outer one's flushing";
    }
    // The controlling thread that rendered offline computes exactly again.
    EXPECT_FALSE(denormalsFlushed());
    EXPECT_EQ(threadRole(), ThreadRole::Control);
    EXPECT_TRUE(subnormal(tinyProduct()));
}

// A window of a loud tone; the needle is touched in it and then held still, so the DC blocker's
// output decays from the held sample towards silence.
TEST(SilentTails, AHeldScratchNeedleFallsToTrueZeroWithoutPassingThroughSubnormals) {
    ScratchWindow window;
    window.frames = kRate;
    window.samples.resize(2 * std::size_t(window.frames));
    for (std::int64_t i = 0; i < window.frames; ++i)
        window.samples[2 * std::size_t(i)] = window.samples[2 * std::size_t(i) + 1] =
            0.9f * float(std::sin(2 * std::numbers::pi * 440.0 * double(i) / kRate));
    ScratchPlayer player;
    player.prepare(kRate);
    player.begin(1000.25);
    std::vector<float> out(2 * 512);
    int subnormals = 0;
    // Ten seconds held: far longer than the blocker takes to pass the whole subnormal range.
    for (int block = 0; block < 10 * kRate / 512; ++block) {
        player.render(window, 1000.25, 0.0, out.data(), 512);
        for (float sample : out)
            subnormals += subnormal(sample);
    }
    EXPECT_EQ(subnormals, 0);
    for (float sample : out)
        ASSERT_EQ(sample, 0.0f) << "the held needle still carries a level";
}

// One second of loud noise, then silence, through each engaged stage: the output (a float made
// from the stages' double state) never becomes subnormal on its way to silence.
TEST(SilentTails, TheDeckEqAndBothFiltersDecayToTrueZeroAfterALoudPassage) {
    for (const DeckFxSettings settings :
         {DeckFxSettings{0.5f, 1.0f, 2.0f, 0.0f}, DeckFxSettings{1, 1, 1, -0.6f},
          DeckFxSettings{1, 1, 1, 0.6f}, DeckFxSettings{0.0f, 1.5f, 0.0f, -0.2f}}) {
        DeckFx fx;
        fx.prepare(kRate);
        std::vector<float> block(2 * 256);
        std::uint32_t noise = 12345;
        for (int i = 0; i < kRate / 256; ++i) {
            for (float& sample : block) {
                noise = noise * 1664525u + 1013904223u;
                sample = 0.9f * (float(noise >> 8) / float(1 << 24) * 2 - 1);
            }
            fx.process(block.data(), 256, settings);
        }
        int subnormals = 0;
        for (int i = 0; i < 5 * kRate / 256; ++i) {
            std::fill(block.begin(), block.end(), 0.0f);
            fx.process(block.data(), 256, settings);
            for (float sample : block)
                subnormals += subnormal(sample);
        }
        EXPECT_EQ(subnormals, 0) << "low " << settings.low << " mid " << settings.mid << " high "
                                 << settings.high << " filter " << settings.filter;
        for (float sample : block)
            ASSERT_EQ(sample, 0.0f);
    }
}

}  // namespace
}  // namespace kelvra::audio::engine
