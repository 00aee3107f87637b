// The recording's ring against a plain queue under random pushes and pops, wrapping many times
// and overflowing on purpose.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "audio/record/FrameRing.h"

namespace kelvra::audio::record {
namespace {

TEST(FrameRing, KeepsOrderWrapsAndCountsWhatDidNotFitAgainstAPlainQueue) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    FrameRing ring(1000);
    ASSERT_EQ(ring.capacity(), 1024u);  // a power of two at least as large
    std::deque<std::int16_t> model;
    std::uint64_t pushed = 0, lost = 0;
    std::vector<std::int16_t> in, out(2 * 600);
    for (int step = 0; step < 20000; ++step) {
        if (random() % 2 == 0) {
            // Each frame different on each side, so a swapped, torn or repeated one shows.
            in.resize(2 * (random() % 400));
            for (std::int16_t& sample : in)
                sample = std::int16_t(random());
            const std::size_t frames = in.size() / 2;
            const std::size_t fit = std::min(frames, ring.capacity() - model.size() / 2);
            ring.push(in.data(), frames);
            model.insert(model.end(), in.begin(), in.begin() + std::ptrdiff_t(2 * fit));
            pushed += fit;
            lost += frames - fit;
        } else {
            const std::size_t frames = random() % 600;
            const std::size_t got = ring.pop(out.data(), frames);
            ASSERT_EQ(got, std::min(frames, model.size() / 2)) << "step " << step;
            ASSERT_TRUE(
                std::equal(out.begin(), out.begin() + std::ptrdiff_t(2 * got), model.begin()))
                << "step " << step;
            model.erase(model.begin(), model.begin() + std::ptrdiff_t(2 * got));
        }
        ASSERT_EQ(ring.pushedFrames(), pushed);
        ASSERT_EQ(ring.lostFrames(), lost);
        ASSERT_EQ(ring.freeFrames(), ring.capacity() - model.size() / 2);
    }
    EXPECT_GT(lost, 0u);  // the walk did overflow it
    ring.reset();
    EXPECT_EQ(ring.pop(out.data(), 10), 0u);
    EXPECT_EQ(ring.pushedFrames() + ring.lostFrames(), 0u);
}

}  // namespace
}  // namespace kelvra::audio::record
