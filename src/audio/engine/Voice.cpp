#include "audio/engine/Voice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace kelvra::audio::engine {
namespace {

constexpr double kFadeSeconds = 0.003;      // starts, stops, pauses and seeks
constexpr double kGainRampSeconds = 0.005;  // a full-scale volume or pan move
constexpr int kInputFrames = 8192;          // resampler input, enough for the lowest ratio
// Beyond 256 times slower (rate 100 Hz into 44100 Hz) the stream plays at the slowest rate it
// can; faster, the resampler sets the limit.
constexpr double kMinStep = 1.0 / 256;
// Offline rendering waits this long for a block before giving up and playing silence.
constexpr auto kOfflineWait = std::chrono::seconds(5);

// A smooth envelope shape: zero slope at both ends, so a fade adds no corner of its own.
inline float shape(float e) {
    return e * e * (3.0f - 2.0f * e);
}

inline float approach(float value, float target, float step) {
    if (value < target) return std::min(value + step, target);
    return std::max(value - step, target);
}

}  // namespace

Voice::Voice(DecodeWorker& worker, std::atomic<std::uint64_t>& starvedFrames)
    : worker_(worker),
      starvedFrames_(starvedFrames),
      channels_(worker.format().channels),
      length_(worker.lengthFrames()),
      currentRate_(worker.format().rate),
      input_(std::size_t(kInputFrames) * worker.format().channels),
      scratch_(std::size_t(kMaxChunk) * 2),
      resampler_(channels_, kInputFrames) {
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
}

void Voice::play(std::uint32_t serial) {
    serial_ = serial;
    wantPlaying_ = true;
    if (ended_) shared.endedSerial.store(serial, std::memory_order_release);
}

void Voice::halt() {
    wantPlaying_ = false;
}

void Voice::seek(std::uint32_t generation, std::int64_t frame, std::uint32_t serial) {
    seekPending_ = true;
    pendingGeneration_ = generation;
    pendingFrame_ = frame;
    serial_ = serial;
    if (envelope_ <= 0) applySeek();
}

void Voice::applySeek() {
    generation_ = pendingGeneration_;
    seekPending_ = false;
    if (block_) worker_.recycle(block_);
    block_ = nullptr;
    blockOffset_ = 0;
    // Hand the blocks decoded for the old place back now: the worker needs them to decode the
    // new place, even while this stream is not playing.
    while (Block* stale = worker_.peekBlock()) {
        if (std::int32_t(stale->generation - generation_) >= 0) break;
        worker_.popBlock();
        worker_.recycle(stale);
    }
    readFrame_ = std::clamp<std::int64_t>(pendingFrame_, 0, length_);
    position_ = double(readFrame_);
    inputOffset_ = inputFrames_ = 0;
    sourceEnded_ = false;
    ended_ = false;
    resampler_.reset();
    publishPosition();
}

// Entering or leaving the resampler happens while silent (the caller fades out first), so the
// jump by the resampler's own look-ahead is never heard.
void Voice::switchPath(int rate) {
    const bool toBypass = rate == outputRate_;
    currentRate_ = rate;
    if (toBypass) {
        // Unread resampler input plays first, straight.
        position_ = double(readFrame_ - (inputFrames_ - inputOffset_));
    } else {
        resampler_.reset();
    }
}

bool Voice::fetchBlock(bool waitForData) {
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    for (;;) {
        Block* block = worker_.peekBlock();
        if (!block) {
            if (!waitForData || std::chrono::steady_clock::now() > deadline) return false;
            worker_.wake();
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        const auto age = std::int32_t(block->generation - generation_);
        if (age > 0) return false;  // a seek the consumer has not applied yet
        worker_.popBlock();
        if (age < 0) {  // left over from before a seek
            worker_.recycle(block);
            continue;
        }
        if (block->frames == 0) {
            sourceEnded_ = block->endOfStream;
            worker_.recycle(block);
            if (sourceEnded_) return false;
            continue;
        }
        block_ = block;
        blockOffset_ = 0;
        return true;
    }
}

int Voice::readSource(float* out, int frames, bool waitForData) {
    constexpr float kScale = 1.0f / 32768.0f;
    int got = 0;
    while (got < frames) {
        if (!block_ && (sourceEnded_ || !fetchBlock(waitForData))) break;
        const int n = std::min(frames - got, block_->frames - blockOffset_);
        const std::int16_t* from = block_->samples + std::size_t(blockOffset_) * channels_;
        float* to = out + std::size_t(got) * channels_;
        for (int i = 0; i < n * channels_; ++i)
            to[i] = from[i] * kScale;
        got += n;
        blockOffset_ += n;
        readFrame_ += n;
        if (blockOffset_ == block_->frames) {
            if (block_->endOfStream) sourceEnded_ = true;
            worker_.recycle(block_);
            block_ = nullptr;
            // Off the audio thread a wakeup is allowed, and it keeps the pool full.
            if (waitForData) worker_.wake();
        }
    }
    return got;
}

int Voice::resample(float* out, int frames, bool waitForData) {
    const double step =
        std::clamp(double(currentRate_) / outputRate_, kMinStep, SincResampler::kMaxStep);
    const int needed = int(std::ceil(frames * step)) + SincResampler::lookAhead(step) + 1;
    int produced = 0;
    for (int attempt = 0; produced < frames && attempt < 8; ++attempt) {
        int available = inputFrames_ - inputOffset_;
        if (available < needed && !sourceEnded_) {
            std::memmove(input_.data(), input_.data() + std::size_t(inputOffset_) * channels_,
                         sizeof(float) * std::size_t(available) * channels_);
            inputOffset_ = 0;
            inputFrames_ = available;
            inputFrames_ += readSource(input_.data() + std::size_t(available) * channels_,
                                       kInputFrames - available, waitForData);
            available = inputFrames_;
        }
        // The step glides from the last call's to this one across the call's output.
        const SincResampler::Result result = resampler_.process(
            input_.data() + std::size_t(inputOffset_) * channels_, available, sourceEnded_,
            out + std::size_t(produced) * channels_, frames - produced, step);
        inputOffset_ += result.inputUsed;
        produced += result.outputMade;
        position_ += result.sourceAdvance;
        if (result.outputMade == 0 && (sourceEnded_ || result.inputUsed == 0)) break;
    }
    // The audible position cannot run ahead of what was read.
    position_ = std::min(position_, double(readFrame_));
    return produced;
}

// Fills `out` with up to `frames` stereo frames of the source at the current rate; returns how
// many it could make.
int Voice::renderSource(float* out, int frames, bool waitForData) {
    int got = 0;
    if (bypass()) {
        // Input left over from the resampler comes first.
        const int carried = std::min(frames, inputFrames_ - inputOffset_);
        if (carried > 0) {
            std::memcpy(out, input_.data() + std::size_t(inputOffset_) * channels_,
                        sizeof(float) * std::size_t(carried) * channels_);
            inputOffset_ += carried;
        }
        got = carried +
              readSource(out + std::size_t(carried) * channels_, frames - carried, waitForData);
        position_ += got;
    } else {
        got = resample(out, frames, waitForData);
    }
    if (channels_ == 1) {
        for (int i = got - 1; i >= 0; --i)
            out[2 * i] = out[2 * i + 1] = out[i];
    }
    return got;
}

void Voice::mixInto(float* mix, int frames, bool waitForData) {
    const int rate = shared.rate.load(std::memory_order_relaxed);
    const float volume = float(shared.volume.load(std::memory_order_relaxed)) / 100.0f;
    const int pan = shared.pan.load(std::memory_order_relaxed);
    const float correction = shared.gain.load(std::memory_order_relaxed);
    // Linear pan law: the near side stays full, the far side loses |pan| percent.
    const float targetLeft = correction * volume * (pan > 0 ? 1.0f - float(pan) / 100.0f : 1.0f);
    const float targetRight = correction * volume * (pan < 0 ? 1.0f + float(pan) / 100.0f : 1.0f);
    const bool wantBypass = rate == outputRate_;

    int done = 0;
    while (done < frames) {
        if (envelope_ <= 0) {
            if (seekPending_) applySeek();
            if (wantBypass != bypass()) switchPath(rate);
            // Nothing is heard yet: a start takes the newest gains at once instead of gliding
            // to them from a volume it never played at.
            gainLeft_ = targetLeft;
            gainRight_ = targetRight;
        }
        const bool pathSwitch = wantBypass != bypass();
        if (!pathSwitch && !bypass()) currentRate_ = rate;
        const bool sounding = wantPlaying_ && !seekPending_ && !ended_ && !pathSwitch;
        if (!sounding && envelope_ <= 0) break;

        int chunk = std::min(frames - done, chunkFrames_);
        if (!sounding) chunk = std::min(chunk, int(std::ceil(envelope_ / envelopeStep_)));
        const int got = renderSource(scratch_.data(), chunk, waitForData);
        std::fill(scratch_.begin() + 2 * got, scratch_.begin() + 2 * chunk, 0.0f);
        const bool drained =
            sourceEnded_ && (got < chunk || (bypass() && !block_ && inputOffset_ == inputFrames_));
        if (drained) {
            ended_ = true;
        } else if (got < chunk) {
            if (!seekPending_) {
                starvedFrames_.fetch_add(std::uint64_t(chunk - got), std::memory_order_relaxed);
            }
        }

        const float target = sounding ? 1.0f : 0.0f;
        float* to = mix + 2 * std::size_t(done);
        if (envelope_ == target && target == 1.0f && gainLeft_ == targetLeft &&
            gainRight_ == targetRight) {
            // Steady state, the common case: plain gains.
            for (int i = 0; i < chunk; ++i) {
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
            }
        } else {
            for (int i = 0; i < chunk; ++i) {
                envelope_ = approach(envelope_, target, envelopeStep_);
                gainLeft_ = approach(gainLeft_, targetLeft, gainStep_);
                gainRight_ = approach(gainRight_, targetRight, gainStep_);
                const float e = shape(envelope_);
                scratch_[2 * i] *= e;
                scratch_[2 * i + 1] *= e;
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
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
    if (envelope_ <= 0 && !(wantPlaying_ && !ended_)) clearMeter();
    publishPosition();
}

void Voice::publishPosition() {
    const auto frame = std::clamp<std::int64_t>(std::llrint(position_), 0, length_);
    shared.position.store(packPosition(generation_, frame), std::memory_order_release);
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
        return std::uint32_t(std::min<long>(std::lrint(peak * correction * 32768.0f), 32768));
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
