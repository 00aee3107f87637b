// The voice's mix: its setup and transport commands, one period's chunks with their gains, pan
// and start/stop envelope, and the meter. Jumps, loop splices and seeks live in VoiceJumps.cpp,
// reading and resampling (and the key lock's stretching) in VoiceSource.cpp, the scratch's sound
// in VoiceScratch.cpp.
#include "audio/engine/Voice.h"

#include <algorithm>
#include <cmath>

#include "audio/SampleScale.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/Ramp.h"
#include "audio/engine/VoiceInternal.h"

namespace kelvra::audio::engine {
namespace {

constexpr double kFadeSeconds = 0.003;      // starts, stops, pauses and seeks
constexpr double kGainRampSeconds = 0.005;  // a full-scale volume or pan move

}  // namespace

Voice::Voice(DecodeWorker& worker, std::atomic<std::uint64_t>& starvedFrames)
    : worker_(worker),
      starvedFrames_(starvedFrames),
      channels_(worker.format().channels),
      length_(worker.lengthFrames()),
      fadeFrames_(std::max(1, int(std::lrint(kFadeSeconds * worker.format().rate)))),
      fadeScratch_(std::size_t(kInputFrames) * worker.format().channels),
      oldTail_(std::size_t(fadeFrames_) * worker.format().channels),
      currentRate_(worker.format().rate),
      input_(std::size_t(kInputFrames) * worker.format().channels),
      scratch_(std::size_t(kMaxChunk) * 2),
      resampler_(channels_, kInputFrames),
      keyLock_(worker.format().rate, channels_),
      incomingLock_(worker.format().rate, channels_),
      stretchFeed_(std::size_t(KeyLockStage::kMaxFeed) * std::size_t(channels_)) {
    scratchOut_.assign(2 * std::size_t(kMaxChunk), 0.0f);
    shared.rate.store(worker.format().rate);
    prepare(44100);
}

Voice::~Voice() = default;

void Voice::prepare(int outputRate) {
    outputRate_ = outputRate;
    gainStep_ = float(1.0 / (kGainRampSeconds * outputRate));
    envelopeStep_ = float(1.0 / (kFadeSeconds * outputRate));
    sliceFrames_ = std::max(1, outputRate / 200);
    // A rate change glides across the first resampler call of a chunk: 5 ms chunks keep every
    // glide well inside 10 ms at any output rate.
    chunkFrames_ = std::clamp(outputRate / 200, 32, kMaxChunk);
    resampler_.reset();
    fx_.prepare(outputRate);
    scratchFx_.prepare(outputRate);
    scratchPlayer_.prepare(outputRate);
}

void Voice::play(std::uint32_t serial) {
    serial_ = serial;
    wantPlaying_ = true;
    if (ended_) shared.endedSerial.store(serial, std::memory_order_release);
}

void Voice::halt() {
    wantPlaying_ = false;
}

void Voice::retire() {
    wantPlaying_ = false;
    retiring_ = true;
}

void Voice::mixInto(float* mix, float* cue, int frames, bool waitForData) {
    KELVRA_ASSERT_MIXING();
    checkJump();
    const int rate = shared.rate.load(std::memory_order_relaxed);
    const float volume = float(shared.volume.load(std::memory_order_relaxed)) / 100.0f;
    const int pan = shared.pan.load(std::memory_order_relaxed);
    const float correction =
        shared.gain.load(std::memory_order_relaxed) * shared.trim.load(std::memory_order_relaxed);
    const DeckFxSettings fx{shared.eqLow.load(std::memory_order_relaxed),
                            shared.eqMid.load(std::memory_order_relaxed),
                            shared.eqHigh.load(std::memory_order_relaxed),
                            shared.filter.load(std::memory_order_relaxed)};
    // Linear pan law: the near side stays full, the far side loses |pan| percent.
    const float targetLeft = correction * volume * (pan > 0 ? 1.0f - float(pan) / 100.0f : 1.0f);
    const float targetRight = correction * volume * (pan < 0 ? 1.0f + float(pan) / 100.0f : 1.0f);
    const float targetCue =
        cue ? correction * float(shared.cue.load(std::memory_order_relaxed)) / 100.0f : 0.0f;
    // With the key lock the resampler plays at the base rate (the key) and the stretcher makes
    // up the tempo; a key shift alone stretches nothing and shifts the pitch.
    const bool lock = shared.keyLock.load(std::memory_order_relaxed);
    const int shift = shared.keyShift.load(std::memory_order_relaxed);
    const int keyBase = shared.keyBase.load(std::memory_order_relaxed);
    const int base = keyBase > 0 ? keyBase : worker_.format().rate;
    wantStretch_ = lock || shift != 0;
    const int pathRate = lock ? base : rate;
    const bool wantBypass = !wantStretch_ && !stretching_ && rate == outputRate_;
    const double stretchTime = lock ? double(base) / std::max(1, rate) : 1.0;
    const double stretchRatio = std::clamp(stretchTime, 0.25, 4.0);
    keyLock_.setRatios(stretchRatio, std::exp2(shift / 12.0));
    if (jumping()) incomingLock_.setRatios(stretchRatio, std::exp2(shift / 12.0));
    // Below this much of the old place left, a waiting jump fades the old place out rather than
    // let it run dry mid-chunk; the new place then fades in from silence.
    const double step = double(rate) / outputRate_;
    const std::int64_t oldReserve =
        std::int64_t(std::ceil((chunkFrames_ + 1.0 / envelopeStep_) * std::max(step, 1.0))) +
        SincResampler::lookAhead(std::max(step, 1.0)) + 1;

    followScratch();
    int done = 0;
    while (done < frames) {
        if (spliceMissed_) {
            spliceMissed_ = splice_.pending = false;
            // Offline the worker hears of the new place from the voice, and has not yet.
            startJump(splice_.generation, splice_.to, splice_.tellWorker && !splice_.told, -1,
                      splice_.loop);
        }
        pollJump(waitForData);
        if (envelope_ <= 0) {
            if (jumping()) abandonJump();
            if (wantBypass != bypass() || (wantStretch_ && !stretching_))
                switchPath(pathRate, wantStretch_);
            // Nothing is heard yet: a start takes the newest gains at once instead of gliding
            // to them from a volume it never played at.
            gainLeft_ = targetLeft;
            gainRight_ = targetRight;
            gainCue_ = targetCue;
        }
        const bool pathSwitch = wantBypass != bypass() || (wantStretch_ && !stretching_);
        if (!pathSwitch && !bypass()) currentRate_ = pathRate;
        // A start or a seek while silent waits, silent and uncounted, for its first block.
        if (wantPlaying_ && !primed_ && !jumping()) {
            // Taking the block (or dropping stale ones) here also tells a late worker apart
            // from one that has not reached the new place yet.
            if (!dataReady()) fetchBlock(current_, Feed::Queue, generation_, waitForData);
            primed_ = dataReady();
        }
        const bool oldRunningDry = jump_ == JumpState::Waiting && oldFramesLeft() < oldReserve;
        const bool held = scratching_ == Scratching::Held ||
                          (scratching_ == Scratching::Released && !scratchSought_);
        const bool sounding =
            wantPlaying_ && primed_ && !ended_ && !pathSwitch && !oldRunningDry && !held;
        if (!sounding && envelope_ <= 0) break;

        int chunk = std::min(frames - done, chunkFrames_);
        if (!sounding) chunk = std::min(chunk, int(std::ceil(envelope_ / envelopeStep_)));
        const bool wasJumping = jumping();
        const int got = renderSource(scratch_.data(), chunk, waitForData);
        std::fill(scratch_.begin() + 2 * got, scratch_.begin() + 2 * chunk, 0.0f);
        fx_.process(scratch_.data(), chunk, fx);
        const bool drained =
            !jumping() && current_.ended &&
            (got < chunk || (bypass() && !current_.block && inputOffset_ == inputFrames_));
        if (drained) {
            ended_ = true;
        } else if (got < chunk && !wasJumping && !jumping()) {
            starvedFrames_.fetch_add(std::uint64_t(chunk - got), std::memory_order_relaxed);
        }

        const float target = sounding ? 1.0f : 0.0f;
        float* to = mix + 2 * std::size_t(done);
        float* toCue = cue ? cue + 2 * std::size_t(done) : nullptr;
        if (envelope_ == target && target == 1.0f && gainLeft_ == targetLeft &&
            gainRight_ == targetRight && gainCue_ == targetCue) {
            // Steady state, the common case: plain gains.
            for (int i = 0; i < chunk; ++i) {
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
            }
            if (toCue && gainCue_ != 0)
                for (int i = 0; i < 2 * chunk; ++i)
                    toCue[i] += scratch_[i] * gainCue_;
        } else {
            for (int i = 0; i < chunk; ++i) {
                envelope_ = approach(envelope_, target, envelopeStep_);
                gainLeft_ = approach(gainLeft_, targetLeft, gainStep_);
                gainRight_ = approach(gainRight_, targetRight, gainStep_);
                gainCue_ = approach(gainCue_, targetCue, gainStep_);
                const float e = shape(envelope_);
                scratch_[2 * i] *= e;
                scratch_[2 * i + 1] *= e;
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
                if (toCue) {
                    toCue[2 * i] += scratch_[2 * i] * gainCue_;
                    toCue[2 * i + 1] += scratch_[2 * i + 1] * gainCue_;
                }
            }
        }
        // The meter reads the stream's own signal (with its start and stop fades) before volume
        // and pan: the mixer's meters apply the deck, main and crossfader gains themselves.
        meter(scratch_.data(), chunk, correction);
        done += chunk;
        if (ended_) {
            envelope_ = 0;
            position_ = double(length_);
            shared.endedSerial.store(serial_, std::memory_order_release);
            break;
        }
    }
    if (scratching_ != Scratching::Off || scratchBlend_ > 0)
        mixScratch(mix, cue, frames, {targetLeft, targetRight, targetCue, correction}, fx,
                   wantPlaying_ ? step : 0.0);
    else if (envelope_ <= 0 && !(wantPlaying_ && !ended_))
        clearMeter();
    publishPosition();
    checkJump();
}

void Voice::publishPosition() {
    auto frame = std::clamp<std::int64_t>(std::llrint(position_), 0, length_);
    // At a loop's end the next frame heard is its start.
    if (loop_.on() && frame == loop_.end) frame = loop_.start;
    shared.position.store(packPosition(generation_, frame), std::memory_order_release);
    // Where the read stands, for a loop change to take over ahead of it. A jump on its way
    // reads two places; the one heard stands for both.
    const std::int64_t read =
        jumping() ? frame : std::clamp<std::int64_t>(current_.frame, 0, length_);
    shared.reading.store(packPosition(generation_, read), std::memory_order_release);
}

void Voice::meter(const float* stereo, int frames, float correction) {
    for (int i = 0; i < frames; ++i) {
        float* peaks = slicePeaks_[slice_];
        peaks[0] = std::max(peaks[0], std::fabs(stereo[2 * i]));
        peaks[1] = std::max(peaks[1], std::fabs(stereo[2 * i + 1]));
        if (++sliceFill_ == sliceFrames_) {
            sliceFill_ = 0;
            slice_ = (slice_ + 1) % kSlices;
            slicePeaks_[slice_][0] = slicePeaks_[slice_][1] = 0;
        }
    }
    float left = 0, right = 0;
    for (const auto& peaks : slicePeaks_) {
        left = std::max(left, peaks[0]);
        right = std::max(right, peaks[1]);
    }
    const auto scale = [correction](float peak) {
        return std::uint32_t(
            std::min<long>(std::lrint(peak * correction * kPcm16FullScale), 32768));
    };
    shared.level.store(scale(left) | scale(right) << 16, std::memory_order_relaxed);
}

void Voice::clearMeter() {
    for (auto& peaks : slicePeaks_)
        peaks[0] = peaks[1] = 0;
    sliceFill_ = 0;
    shared.level.store(0, std::memory_order_relaxed);
}

}  // namespace kelvra::audio::engine
