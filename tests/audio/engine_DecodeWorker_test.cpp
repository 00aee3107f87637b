// The audio thread's side of the decode worker makes no system call: taking blocks, handing them
// back and reading a pinned warm place are plain memory operations, and the worker still keeps
// the read-ahead full by finding the handed-back blocks on its own.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "audio/EngineTestSupport.h"
#include "audio/engine/DecodeWorker.h"

namespace kelvra::test {
namespace {

using audio::engine::Block;
using audio::engine::DecodeWorker;
using namespace std::chrono_literals;

constexpr int kRate = 44100;

// Ten seconds of stereo whose every sample says its frame, so order can be checked.
std::shared_ptr<const std::vector<std::int16_t>> countingSamples() {
    auto samples = std::make_shared<std::vector<std::int16_t>>(std::size_t(10 * kRate) * 2);
    for (std::size_t i = 0; i < samples->size(); ++i)
        (*samples)[i] = std::int16_t((i / 2) & 0x7FFF);
    return samples;
}

std::unique_ptr<DecodeWorker> fullWorker() {
    auto worker = std::make_unique<DecodeWorker>(
        std::make_unique<BufferDecoder>(countingSamples(), kRate, 2), 0.5);
    worker->keepWarm(0, 5 * kRate);
    // Long enough for the read-ahead and the warm place to fill and the worker to fall asleep.
    std::this_thread::sleep_for(300ms);
    return worker;
}

#if defined(__linux__)
// Runs in a child process: a thread that the kernel kills at its first system call other than
// read, write and exit takes 300 blocks in order, handing each back, then reads a pinned warm
// place and unpins it. Exit code 0 when all of it was right, 4 when the thread never reported
// (it was killed).
[[noreturn]] void consumeWithoutSystemCalls() {
    auto worker = fullWorker();
    std::int64_t warmFrames = 0;
    const int slot = worker->pinWarm(5 * kRate, warmFrames);
    int pipe[2];
    if (slot < 0 || ::pipe(pipe) != 0) _exit(2);
    std::thread([&] {
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 0);
        char verdict = 1;  // in order, warm place right
        std::int64_t expected = 0;
        for (int taken = 0; taken < 300;) {
            Block* block = worker->peekBlock();
            if (!block) continue;  // the worker refills at its next poll
            if (block->startFrame != expected ||
                block->samples[0] != std::int16_t(expected & 0x7FFF))
                verdict = 0;
            expected += block->frames;
            worker->popBlock();
            worker->recycle(block);
            ++taken;
        }
        const Block* warm = worker->warm(slot, 0);
        if (!warm || warm->startFrame != 5 * kRate ||
            warm->samples[0] != std::int16_t((5 * kRate) & 0x7FFF))
            verdict = 0;
        worker->unpinWarm(slot);
        if (::write(pipe[1], &verdict, 1) != 1) verdict = 0;
        syscall(SYS_exit, 0);  // this thread only: the process ends below
    }).detach();
    pollfd reply{pipe[0], POLLIN, 0};
    if (::poll(&reply, 1, 20000) != 1) _exit(4);
    char verdict = 0;
    const bool heard = ::read(pipe[0], &verdict, 1) == 1;
    _exit(heard && verdict == 1 ? 0 : 3);
}

TEST(DecodeWorkerDeathTest, TheConsumerSideNeverEntersTheKernel) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Exit code 4: the kernel killed the consumer at a system call.
    EXPECT_EXIT(consumeWithoutSystemCalls(), ::testing::ExitedWithCode(0), "");
}
#endif

// Without any wake from the consumer, a worker whose blocks come back refills the read-ahead
// within a few polls, so a real-time consumer taking a block every period never starves.
TEST(DecodeWorker, HandedBackBlocksAreRefilledWithinAFewPolls) {
    auto worker = fullWorker();
    std::int64_t expected = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int taken = 0; taken < 200; ++taken) {
        Block* block = nullptr;
        while (!(block = worker->peekBlock())) {
            ASSERT_LT(std::chrono::steady_clock::now() - started, 20s) << "the worker stalled";
            std::this_thread::sleep_for(100us);
        }
        ASSERT_EQ(block->startFrame, expected);
        expected += block->frames;
        worker->popBlock();
        worker->recycle(block);
    }
}

}  // namespace
}  // namespace kelvra::test
