// The true (inter-sample) peak, by 4x oversampling as BS.1770 describes, computed only between
// samples loud enough to matter: a full oversampling of every sample would cost more than the
// rest of the analysis together.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvra::audio::analysis {

class TruePeak {
  public:
    explicit TruePeak(int channels);
    void push(const std::int16_t* interleaved, std::int64_t frames);
    double peak() const { return peak_; }  // linear, 1 = full scale

  private:
    int channels_;
    std::vector<std::vector<float>> lines_;  // per channel: carried history, then new samples
    double peak_ = 0;
};

}  // namespace kelvra::audio::analysis
