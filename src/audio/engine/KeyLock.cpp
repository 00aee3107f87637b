#include "audio/engine/KeyLock.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cassert>

namespace kelvra::audio::engine {

using RubberBand::RubberBandStretcher;

namespace {

// The finer engine: the faster one resets its phases at what it takes for onsets, and on a held
// tone those resets come as dips of many decibels a few times a second; its remedy, never
// resetting, smears a short gap over. The finer engine keeps both a held tone and a gap. With its
// short window it costs what the faster engine did (about 7 % of a core a deck), where its full
// multi-resolution one costs more than twice that and a jump's fresh start three times as much.
// Channels together keep a stereo mix's centre where it was; high consistency lets the key shift
// change while playing without a step.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionChannelsTogether |
    RubberBandStretcher::OptionPitchHighConsistency;

}  // namespace

KeyLockStage::KeyLockStage(int rate, int channels)
    : stretcher_(std::make_unique<RubberBandStretcher>(std::size_t(rate), std::size_t(channels),
                                                       kOptions)),
      channels_(channels),
      planes_(std::size_t(kMaxFeed) * std::size_t(channels)),
      pointers_(std::size_t(channels)) {
    // A library before the finer engine would quietly take the faster one instead.
    assert(stretcher_->getEngineVersion() == 3);
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

void KeyLockStage::swap(KeyLockStage& other) noexcept {
    std::swap(stretcher_, other.stretcher_);
    std::swap(channels_, other.channels_);
    std::swap(time_, other.time_);
    std::swap(pitch_, other.pitch_);
    planes_.swap(other.planes_);
    pointers_.swap(other.pointers_);
    std::swap(dropping_, other.dropping_);
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
