// What the engine benches share: a decoder over samples held in memory, so the figures leave out
// the disk and the codecs, and the calling thread's CPU time.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/Decoder.h"

namespace kelvra::bench {

class MemoryDecoder : public audio::Decoder {
  public:
    explicit MemoryDecoder(const std::vector<std::int16_t>& samples, int rate = 44100)
        : samples_(samples), rate_(rate) {}
    audio::PcmFormat format() const override { return {rate_, 2}; }
    std::int64_t lengthFrames() const override { return std::int64_t(samples_.size() / 2); }
    bool seek(std::int64_t frame) override {
        next_ = std::min(frame, lengthFrames());
        return true;
    }
    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        const std::int64_t n = std::min(frames, lengthFrames() - next_);
        std::copy_n(samples_.data() + next_ * 2, n * 2, out);
        next_ += n;
        return n;
    }

  private:
    const std::vector<std::int16_t>& samples_;
    int rate_;
    std::int64_t next_ = 0;
};

inline double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

}  // namespace kelvra::bench
