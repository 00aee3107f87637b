#include "audio/engine/KeyLock.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>

namespace kelvra::audio::engine {

using RubberBand::RubberBandStretcher;

KeyLockStage::KeyLockStage(int rate, int channels)
    : stretcher_(std::make_unique<RubberBandStretcher>(
          std::size_t(rate), std::size_t(channels),
          RubberBandStretcher::OptionProcessRealTime |
              RubberBandStretcher::OptionPitchHighConsistency |
              RubberBandStretcher::OptionTransientsMixed)),
      channels_(channels),
      planes_(std::size_t(kMaxFeed) * std::size_t(channels)),
      pointers_(std::size_t(channels)) {
    stretcher_->setMaxProcessSize(kMaxFeed);
    for (int c = 0; c < channels; ++c)
        pointers_[std::size_t(c)] = planes_.data() + std::size_t(c) * kMaxFeed;
    restart();
}

KeyLockStage::~KeyLockStage() = default;

void KeyLockStage::restart() {
    stretcher_->reset();
    stretcher_->setTimeRatio(time_);
    stretcher_->setPitchScale(pitch_);
    // Silence before the first frame, as much as the stretcher likes to see, fed in pieces it
    // accepts without growing its buffers.
    std::fill(planes_.begin(), planes_.end(), 0.0f);
    for (long pad = long(stretcher_->getPreferredStartPad()); pad > 0; pad -= kMaxFeed)
        stretcher_->process(pointers_.data(), std::size_t(std::min<long>(pad, kMaxFeed)), false);
    dropping_ = long(stretcher_->getStartDelay());
}

void KeyLockStage::setRatios(double time, double pitch) {
    if (time != time_) stretcher_->setTimeRatio(time_ = time);
    if (pitch != pitch_) stretcher_->setPitchScale(pitch_ = pitch);
}

void KeyLockStage::feed(const float* frames, int count, bool final) {
    count = std::min(count, kMaxFeed);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels_; ++c)
            pointers_[std::size_t(c)][i] = frames[std::size_t(i) * channels_ + c];
    stretcher_->process(pointers_.data(), std::size_t(count), final);
}

int KeyLockStage::available() const {
    return std::max(0, stretcher_->available());
}

int KeyLockStage::retrieve(float* frames, int count) {
    int got = 0;
    while (got < count) {
        const int ready = available();
        if (ready <= 0) break;
        const int n =
            std::min({ready, kMaxFeed,
                      dropping_ > 0 ? int(std::min<long>(dropping_, kMaxFeed)) : count - got});
        const int made = int(stretcher_->retrieve(pointers_.data(), std::size_t(n)));
        if (made <= 0) break;
        if (dropping_ > 0) {
            dropping_ -= made;
            continue;
        }
        for (int i = 0; i < made; ++i)
            for (int c = 0; c < channels_; ++c)
                frames[std::size_t(got + i) * channels_ + c] = pointers_[std::size_t(c)][i];
        got += made;
    }
    return got;
}

}  // namespace kelvra::audio::engine
