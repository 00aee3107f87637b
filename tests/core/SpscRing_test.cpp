// The lock-free ring between two threads, driven by a producer and a consumer that each pick at
// random between single values and runs: every value arrives once, in order, untorn, and a full
// ring refuses instead of overwriting.
#include "core/SpscRing.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace kelvra {
namespace {

// Two halves that must always belong together: a torn copy shows as a mismatch.
struct Pair {
    std::uint32_t value = 0, check = 0;
};

TEST(SpscRing, TwoThreadsPassEveryValueOnceInOrderUntornAtRandomRunLengths) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    SpscRing<Pair> ring(100);
    ASSERT_EQ(ring.capacity(), 128u);  // a power of two at least as large
    constexpr std::uint32_t kCount = 200000;

    std::thread producer([&ring, seed] {
        std::mt19937 random(seed);
        std::vector<Pair> run(64);
        for (std::uint32_t next = 0; next < kCount;) {
            if (random() % 2) {
                if (ring.push({next, ~next})) ++next;
            } else {
                const std::size_t n = std::min<std::size_t>(random() % 64 + 1, kCount - next);
                for (std::size_t i = 0; i < n; ++i)
                    run[i] = {next + std::uint32_t(i), ~(next + std::uint32_t(i))};
                next += std::uint32_t(ring.pushSome(run.data(), n));
            }
        }
    });
    std::mt19937 random(seed + 1);
    std::vector<Pair> run(64);
    std::uint32_t expected = 0;
    bool inOrder = true;
    while (expected < kCount && inOrder) {
        if (random() % 2) {
            if (const Pair* front = ring.front()) {
                inOrder = front->value == expected && front->check == ~expected;
                ring.pop();
                ++expected;
            }
        } else {
            const std::size_t got = ring.popSome(run.data(), random() % 64 + 1);
            for (std::size_t i = 0; i < got && inOrder; ++i, ++expected)
                inOrder = run[i].value == expected && run[i].check == ~expected;
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder) << "value " << expected << " came out of order or torn";
    EXPECT_EQ(ring.pushedCount(), kCount);
    EXPECT_EQ(ring.size(), 0u);

    // Full: the next push is refused and nothing already in it is overwritten.
    for (std::uint32_t i = 0; i < ring.capacity(); ++i)
        ASSERT_TRUE(ring.push({i, ~i}));
    EXPECT_FALSE(ring.push({999, 999}));
    const Pair one[1] = {{7, 7}};
    EXPECT_EQ(ring.pushSome(one, 1), 0u);
    Pair first;
    ASSERT_TRUE(ring.pop(first));
    EXPECT_EQ(first.value, 0u);
    ring.reset();
    EXPECT_EQ(ring.front(), nullptr);
    EXPECT_EQ(ring.pushedCount(), 0u);
}

}  // namespace
}  // namespace kelvra
