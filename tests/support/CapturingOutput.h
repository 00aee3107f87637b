// A real-time output for engine tests that keeps what it plays: a thread of its own calls the
// mixer back every period at the output's pace, as a device does, in 16-bit samples or in
// floats (as JACK's ports and float devices take them), and can stop calling back as a device
// that hangs would.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/engine/AudioThread.h"
#include "audio/engine/Engine.h"
#include "audio/engine/Output.h"

namespace kelvra::test {

template <typename Sample>
class CapturingOutput final : public audio::engine::Output {
  public:
    // With `phones` the output has a headphone output too (its audio is not kept).
    CapturingOutput(audio::engine::MixBus& mixer, int rate, bool phones)
        : mixer_(mixer), rate_(rate), phones_(phones) {}
    ~CapturingOutput() override { stop(); }
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
    bool phones() const override { return phones_; }
    void freeze() { frozen_ = true; }
    // What was played; the record outlives the output (which the engine frees on release).
    struct Record {
        std::mutex mutex;
        std::vector<Sample> heard;
    };
    std::shared_ptr<Record> record() { return record_; }
    std::vector<Sample> heard() {
        std::lock_guard lock(record_->mutex);
        return record_->heard;
    }

  private:
    void run() {
        const audio::engine::MixingScope mixing(audio::engine::ThreadRole::Device);
        using Clock = std::chrono::steady_clock;
        constexpr int kPeriod = audio::engine::kOutputPeriod;
        std::vector<Sample> main(2 * std::size_t(kPeriod)), cue(2 * std::size_t(kPeriod));
        const auto length = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kPeriod) / rate_));
        auto due = Clock::now();
        while (running_) {
            if (!frozen_) {
                mixer_.process(main.data(), phones_ ? cue.data() : nullptr, kPeriod, false);
                std::lock_guard lock(record_->mutex);
                record_->heard.insert(record_->heard.end(), main.begin(), main.end());
            }
            due += length;
            std::this_thread::sleep_until(due);
        }
    }
    audio::engine::MixBus& mixer_;
    const int rate_;
    const bool phones_;
    std::atomic<bool> running_{false}, frozen_{false};
    std::thread thread_;
    std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

// An engine output maker that hands out a capturing output and tells the test which.
template <typename Sample>
audio::engine::OutputMaker capturingInto(CapturingOutput<Sample>*& output, bool phones = false) {
    return [&output, phones](audio::engine::MixBus& mixer, int, int rate, int&) {
        auto made = std::make_unique<CapturingOutput<Sample>>(mixer, rate, phones);
        output = made.get();
        return made;
    };
}

}  // namespace kelvra::test
