// The audio of the last frame a decoder produced, with the stream position of its first sample,
// from which reads are served. Used by one thread at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kelvra::audio::decode {

class DecodedFrame {
  public:
    explicit DecodedFrame(int channels) : channels_(channels) {}

    // Interleaved samples, to be filled by the decoder after restart().
    std::vector<std::int16_t>& samples() { return samples_; }
    // Empties the frame; the next one starts at `start`.
    void restart(std::int64_t start) {
        samples_.clear();
        start_ = start;
    }

    std::int64_t start() const { return start_; }
    std::int64_t end() const {
        return start_ + static_cast<std::int64_t>(samples_.size()) / channels_;
    }
    bool holds(std::int64_t position) const { return position >= start_ && position < end(); }

    // Copies up to `frames` frames from `position` (which holds() must accept) into `out`;
    // returns the number copied.
    std::int64_t copy(std::int64_t position, std::int16_t* out, std::int64_t frames) const {
        const std::int64_t count = std::min(frames, end() - position);
        std::memcpy(out, samples_.data() + (position - start_) * channels_,
                    static_cast<std::size_t>(count * channels_) * sizeof(std::int16_t));
        return count;
    }

  private:
    int channels_;
    std::vector<std::int16_t> samples_;
    std::int64_t start_ = 0;
};

}  // namespace kelvra::audio::decode
