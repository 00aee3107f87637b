// Integrated loudness (EBU R128 / BS.1770, through libebur128) and the sample and true peaks.
// libebur128 oversamples every sample for the true peak; TruePeak does it where it can matter.
#pragma once

#include <ebur128.h>

#include <cstdint>

#include "audio/analysis/LoudnessTarget.h"
#include "audio/analysis/TruePeak.h"

namespace kelvra::audio::analysis {

class Loudness {
  public:
    Loudness(int rate, int channels);
    ~Loudness();
    Loudness(const Loudness&) = delete;
    Loudness& operator=(const Loudness&) = delete;

    void push(const std::int16_t* interleaved, std::int64_t frames);
    double integratedLufs() const;  // -inf for silence
    double samplePeakDbfs() const;
    double truePeakDbfs() const;

  private:
    ebur128_state* state_ = nullptr;
    int channels_;
    TruePeak truePeak_;
};

}  // namespace kelvra::audio::analysis
