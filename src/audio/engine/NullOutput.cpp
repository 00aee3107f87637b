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
    NullOutput(MixBus& mixer, int rate, int period, bool phones)
        : mixer_(mixer),
          rate_(rate),
          period_(period),
          buffer_(std::size_t(period) * 2),
          phones_(phones ? std::size_t(period) * 2 : 0) {}
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

    double latency() const override { return double(period_) / rate_; }
    int rate() const override { return rate_; }
    int period() const override { return period_; }
    bool phones() const override { return !phones_.empty(); }
    std::string name() const override { return "Null output"; }

  private:
    void run() {
        const MixingScope mixing(ThreadRole::Device);
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(period_) / rate_));
        auto due = Clock::now();
        while (running_) {
            mixer_.process(buffer_.data(), phones_.empty() ? nullptr : phones_.data(), period_,
                           false);
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
    const int period_;
    std::vector<std::int16_t> buffer_;
    std::vector<std::int16_t> phones_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> makeNullOutput(MixBus& mixer, int rate, int period, bool phones) {
    return std::make_unique<NullOutput>(mixer, rate, period, phones);
}

}  // namespace kelvra::audio::engine
