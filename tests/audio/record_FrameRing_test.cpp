// The recording's ring: against a plain queue under random pushes and pops (wrapping many
// times, overflowing on purpose), and across two threads as the mix and the writer use it.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <random>
#include <thread>
#include <vector>

#include "audio/record/FrameRing.h"

namespace kelvra::audio::record {
namespace {

// A frame that says where it came from: its number in the left sample, the negated number in
// the right, so a swapped, torn or repeated frame shows.
void numberFrames(std::vector<std::int16_t>& out, std::uint32_t first, std::size_t frames) {
    out.resize(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto n = std::int16_t((first + i) & 0x7FFF);
        out[2 * i] = n;
        out[2 * i + 1] = std::int16_t(-n);
    }
}

TEST(FrameRing, KeepsOrderWrapsAndCountsWhatDidNotFitAgainstAPlainQueue) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    FrameRing ring(1000);
    ASSERT_EQ(ring.capacity(), 1024u);  // a power of two at least as large

    std::deque<std::int16_t> model;
    std::uint64_t pushed = 0, lost = 0;
    std::uint32_t next = 0;
    std::vector<std::int16_t> in, out(2 * 2048);
    for (int step = 0; step < 20000; ++step) {
        if (random() % 2 == 0) {
            const std::size_t frames = random() % 400;
            numberFrames(in, next, frames);
            next += std::uint32_t(frames);
            ring.push(in.data(), frames);
            const std::size_t fit = std::min(frames, ring.capacity() - model.size() / 2);
            model.insert(model.end(), in.begin(), in.begin() + std::ptrdiff_t(2 * fit));
            pushed += fit;
            lost += frames - fit;
        } else {
            const std::size_t frames = random() % 600;
            const std::size_t got = ring.pop(out.data(), frames);
            ASSERT_EQ(got, std::min(frames, model.size() / 2)) << "step " << step;
            for (std::size_t i = 0; i < 2 * got; ++i) {
                ASSERT_EQ(out[i], model.front()) << "step " << step << " sample " << i;
                model.pop_front();
            }
        }
        ASSERT_EQ(ring.pushedFrames(), pushed);
        ASSERT_EQ(ring.lostFrames(), lost);
        ASSERT_EQ(ring.freeFrames(), ring.capacity() - model.size() / 2);
    }
    EXPECT_GT(lost, 0u);  // the walk overflowed it, or it tested less than it says
    ring.reset();
    EXPECT_EQ(ring.pop(out.data(), 10), 0u);
    EXPECT_EQ(ring.pushedFrames(), 0u);
    EXPECT_EQ(ring.lostFrames(), 0u);
}

TEST(FrameRing, AProducerAndAConsumerOnTwoThreadsLoseNothingButWhatIsCounted) {
    FrameRing ring(4096);
    constexpr std::size_t kPeriod = 256;
    constexpr std::uint32_t kFrames = 8000 * kPeriod;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<std::int16_t> period;
        for (std::uint32_t first = 0; first < kFrames; first += kPeriod) {
            numberFrames(period, first, kPeriod);
            // Mostly the consumer keeps up (a test machine is slower than a real writer is
            // behind); every tenth period comes regardless, full ring or not.
            for (int wait = 0;
                 wait < 1000 && ring.freeFrames() < kPeriod && (first / kPeriod) % 10 != 0; ++wait)
                std::this_thread::yield();
            ring.push(period.data(), kPeriod);
        }
        done.store(true);
    });
    std::vector<std::int16_t> out(2 * 1000);
    std::uint64_t received = 0;
    int torn = 0, repeated = 0;
    std::int16_t last = -1;
    for (;;) {
        const bool finished = done.load();
        const std::size_t got = ring.pop(out.data(), 1000);
        // Every frame arrives whole and at most once; one lost leaves a gap.
        for (std::size_t i = 0; i < got; ++i) {
            torn += out[2 * i + 1] != -out[2 * i];
            repeated += out[2 * i] == last;
            last = out[2 * i];
        }
        received += got;
        if (got == 0 && finished) break;
    }
    producer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(repeated, 0);
    EXPECT_EQ(received, ring.pushedFrames());
    EXPECT_EQ(ring.pushedFrames() + ring.lostFrames(), kFrames);
    EXPECT_GT(received, kFrames / 2);
}

}  // namespace
}  // namespace kelvra::audio::record
