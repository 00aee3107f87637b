// Integrated loudness (EBU R128 / BS.1770, through libebur128) and the sample and true peaks.
// libebur128 oversamples every sample for the true peak; TruePeak does it where it can matter.
#pragma once

#include <ebur128.h>

#include <cstdint>

#include "audio/analysis/TruePeak.h"

namespace kelvra::audio::analysis {

// Loudness matching: every song played at the same integrated loudness.
inline constexpr double kTargetLufs = -14.0;
inline constexpr double kMaxBoostDb = 12.0;
inline constexpr double kPeakCeilingDbtp = -1.0;

// The gain that brings a song of `lufs` to kTargetLufs. A boost is at most kMaxBoostDb and never
// lifts the true peak above kPeakCeilingDbtp, so the correction itself cannot clip; a cut is never
// limited. 0 for silence or an unknown loudness.
double loudnessCorrectionDb(double lufs, double truePeakDbtp);

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
