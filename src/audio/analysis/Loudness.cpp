#include "audio/analysis/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvra::audio::analysis {

namespace {

double toDb(double linear) {
    return linear > 0 ? 20 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

}  // namespace

Loudness::Loudness(int rate, int channels) : channels_(channels), truePeak_(channels) {
    state_ = ebur128_init(unsigned(channels), static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    // A mono song is heard from both speakers, so it counts as loud as its stereo twin.
    if (state_ && channels == 1) ebur128_set_channel(state_, 0, EBUR128_DUAL_MONO);
}

Loudness::~Loudness() {
    if (state_) ebur128_destroy(&state_);
}

void Loudness::push(const std::int16_t* interleaved, std::int64_t frames) {
    if (state_) ebur128_add_frames_short(state_, interleaved, std::size_t(frames));
    truePeak_.push(interleaved, frames);
}

double Loudness::integratedLufs() const {
    double lufs = -std::numeric_limits<double>::infinity();
    if (!state_ || ebur128_loudness_global(state_, &lufs) != EBUR128_SUCCESS)
        return -std::numeric_limits<double>::infinity();
    return lufs;
}

double Loudness::samplePeakDbfs() const {
    double peak = 0;
    for (int c = 0; c < channels_ && state_; ++c) {
        double channelPeak = 0;
        if (ebur128_sample_peak(state_, unsigned(c), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    return toDb(peak);
}

double Loudness::truePeakDbfs() const {
    return toDb(truePeak_.peak());
}

}  // namespace kelvra::audio::analysis
