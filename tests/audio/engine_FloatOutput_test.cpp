// A device that takes floats gets the mix as it was made: not rounded to 16-bit steps on the
// way, and within full scale as a 16-bit device would be.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/EngineTestSupport.h"
#include "audio/engine/Output.h"

namespace kelvra::test {
namespace {

using audio::engine::MixBus;
using audio::engine::Output;
using namespace std::chrono_literals;

constexpr int kRate = 44100;

// A real-time output of floats, as JACK's ports and float PortAudio devices are, keeping what
// it plays.
class FloatOutput final : public Output {
  public:
    explicit FloatOutput(MixBus& mixer) : mixer_(mixer) {}
    ~FloatOutput() override { stop(); }
    bool start() override {
        if (!thread_.joinable()) {
            running_ = true;
            thread_ = std::thread([this] { run(); });
        }
        return true;
    }
    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }
    bool phones() const override { return true; }
    std::vector<float> heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }

  private:
    void run() {
        const audio::engine::MixingScope mixing(audio::engine::ThreadRole::Device);
        constexpr int kPeriod = audio::engine::kOutputPeriod;
        std::vector<float> main(2 * kPeriod), phones(2 * kPeriod);
        auto due = std::chrono::steady_clock::now();
        while (running_) {
            mixer_.process(main.data(), phones.data(), kPeriod, false);
            {
                std::lock_guard lock(mutex_);
                heard_.insert(heard_.end(), main.begin(), main.end());
            }
            due += std::chrono::microseconds(1000000LL * kPeriod / kRate);
            std::this_thread::sleep_until(due);
        }
    }
    MixBus& mixer_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<float> heard_;
};

TEST(FloatOutput, GetsTheMixUnroundedAndWithinFullScale) {
    TestFiles files;
    files.add("song.mp3", sineFile(kRate, 2, 3.0, 441.0, 0.99));
    FloatOutput* output = nullptr;
    audio::engine::Engine engine(files.openers(), [&output](MixBus& mixer, int, int, int&) {
        auto made = std::make_unique<FloatOutput>(mixer);
        output = made.get();
        return made;
    });
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
