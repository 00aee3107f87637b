// A device that takes floats gets the mix as it was made: not rounded to 16-bit steps on the
// way, and within full scale as a 16-bit device would be.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "audio/EngineTestSupport.h"
#include "support/CapturingOutput.h"

namespace kelvra::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;

TEST(FloatOutput, GetsTheMixUnroundedAndWithinFullScale) {
    TestFiles files;
    files.add("song.mp3", sineFile(kRate, 2, 3.0, 441.0, 0.99));
    CapturingOutput<float>* output = nullptr;
    audio::engine::Engine engine(files.openers(), capturingInto(output, true));
    ASSERT_TRUE(engine.init(-1, kRate, 0));
    const audio::Handle h = engine.streamCreateFile("song.mp3", 0);
    ASSERT_NE(h, 0u);
    // A volume that puts almost every sample between two 16-bit steps.
    ASSERT_TRUE(engine.channelSetAttributes(h, -1, 37, 0));
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(600ms);
    const std::vector<float> heard = output->heard();
    engine.release();
    ASSERT_GT(heard.size(), std::size_t(kRate / 4));
    int offGrid = 0, sounding = 0;
    for (float sample : heard) {
        ASSERT_LE(std::fabs(sample), 1.0f);
        if (sample == 0) continue;
        ++sounding;
        const float steps = sample * 32768.0f;
        offGrid += steps != std::nearbyint(steps);
    }
    ASSERT_GT(sounding, kRate / 4);
    // Rounded to 16 bits every sample would lie on the grid.
    EXPECT_GT(offGrid, sounding * 9 / 10);
}

}  // namespace
}  // namespace kelvra::test
