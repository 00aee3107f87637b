#include "core/VirtualClock.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvra {
namespace {

TEST(VirtualClock, TimersFireInDueOrderAndOnlyWhileEnabled) {
    VirtualClock clock;
    std::string log;
    auto fast = clock.createTimer();
    auto slow = clock.createTimer();
    fast->setInterval(30);
    slow->setInterval(80);
    fast->setOnTick([&] { log += 'f'; });
    slow->setOnTick([&] { log += 's'; });
    slow->setEnabled(true);
    fast->setEnabled(true);

    clock.advance(100);  // f@30 f@60 s@80 f@90
    EXPECT_EQ(log, "ffsf");
    EXPECT_EQ(clock.nowMs(), 100);

    fast->setEnabled(false);
    log.clear();
    clock.advance(100);  // s@160
    EXPECT_EQ(log, "s");
}

TEST(VirtualClock, ATickMayDisableOrDestroyTimers) {
    VirtualClock clock;
    int ticks = 0;
    auto once = clock.createTimer();
    once->setInterval(1);
    once->setOnTick([&] {
        ++ticks;
        once->setEnabled(false);
    });
    once->setEnabled(true);
    clock.advance(50);
    EXPECT_EQ(ticks, 1);

    auto doomed = clock.createTimer();
    doomed->setInterval(10);
    doomed->setOnTick([&] { doomed.reset(); });
    doomed->setEnabled(true);
    clock.advance(100);
    EXPECT_EQ(doomed, nullptr);
}

TEST(VirtualClock, EnablingARunningTimerKeepsItsCountButANewIntervalRestartsIt) {
    VirtualClock clock;
    int ticks = 0;
    auto timer = clock.createTimer();
    timer->setInterval(80);
    timer->setOnTick([&] { ++ticks; });
    timer->setEnabled(true);
    clock.advance(70);
    timer->setEnabled(true);  // already running: no restart
    clock.advance(10);
    EXPECT_EQ(ticks, 1);

    clock.advance(70);
    timer->setInterval(80);  // a new interval starts the count afresh
    clock.advance(70);
    EXPECT_EQ(ticks, 1);
    clock.advance(10);
    EXPECT_EQ(ticks, 2);

    timer->setEnabled(false);
    timer->setEnabled(true);  // off and on again: a fresh count
    clock.advance(79);
    EXPECT_EQ(ticks, 2);
    clock.advance(1);
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace kelvra
