// The null output: a thread that asks the mixer for one period at a time, paced by the clock as a
// sound card would, and throws the samples away.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/engine/Output.h"

namespace kelvra::audio::engine {
namespace {

class NullOutput final : public Output {
  public:
    NullOutput(MixBus& mixer, int rate)
        : mixer_(mixer), rate_(rate), buffer_(std::size_t(kOutputPeriod) * 2) {}
    ~NullOutput() override { stop(); }

    bool start() override {
        if (thread_.joinable()) return true;
        running_ = true;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

  private:
    void run() {
        const ThreadRoleScope role(ThreadRole::Device);
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kOutputPeriod) / rate_));
        auto due = Clock::now();
        while (running_) {
            mixer_.process(buffer_.data(), kOutputPeriod, false);
            due += period;
            const auto now = Clock::now();
            if (now > due + period) {  // a period late: the device would have run dry
                mixer_.countUnderrun();
                due = now;
            }
            std::this_thread::sleep_until(due);
        }
    }

    MixBus& mixer_;
    const int rate_;
    std::vector<std::int16_t> buffer_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> makeNullOutput(MixBus& mixer, int rate) {
    return std::make_unique<NullOutput>(mixer, rate);
}

}  // namespace kelvra::audio::engine
