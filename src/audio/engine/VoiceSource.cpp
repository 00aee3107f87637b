// What a voice reads: decoded blocks taken from the worker (or its warm slots, or the blocks held
// during a jump), resampled to the output rate or passed straight, and stretched under key lock.
#include "audio/engine/Voice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/SampleScale.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/VoiceInternal.h"

namespace kelvra::audio::engine {
namespace {

// Beyond 256 times slower (rate 100 Hz into 44100 Hz) the stream plays at the slowest rate it
// can; faster, the resampler sets the limit.
constexpr double kMinStep = 1.0 / 256;

}  // namespace

// Whether the current place has something to play (or has ended), so a start fades in on sound.
bool Voice::dataReady() const {
    if (current_.block || current_.ended || current_.warmSlot >= 0 || inputFrames_ > inputOffset_)
        return true;
    const Block* block = worker_.peekBlock();
    return block && block->generation == generation_;
}

bool Voice::fetchBlock(Cursor& cursor, Feed feed, std::uint32_t generation, bool waitForData) {
    if (cursor.warmSlot >= 0) {
        if (Block* block = worker_.warm(cursor.warmSlot, cursor.warmNext++)) {
            cursor.block = block;
            cursor.offset = 0;
            cursor.frame = block->startFrame;
            return true;
        }
        worker_.unpinWarm(cursor.warmSlot);  // read out: the queue goes on from its end
        cursor.warmSlot = -1;
    }
    if (feed == Feed::Held) {
        if (heldNext_ < heldCount_) {
            cursor.block = held_[heldNext_++];
            cursor.offset = 0;
            cursor.frame = cursor.block->startFrame;
            return true;
        }
        if (heldClosed_) cursor.ended = true;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    for (;;) {
        Block* block = worker_.peekBlock();
        if (!block) {
            if (!waitForData || std::chrono::steady_clock::now() > deadline) return false;
            KELVRA_ASSERT_MAY_BLOCK();
            worker_.wake();
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        const auto age = std::int32_t(block->generation - generation);
        if (age > 0) {
            // The old place has run out under a loop change still waiting for its frame: the
            // worker decodes only the new place now, so the change cannot wait any longer.
            if (&cursor == &current_ && feed == Feed::Queue && splice_.pending)
                spliceMissed_ = true;
            return false;  // a seek the consumer has not applied yet
        }
        worker_.popBlock();
        if (age < 0) {  // left over from before a seek
            worker_.recycle(block);
            continue;
        }
        if (block->frames == 0) {
            cursor.ended = block->endOfStream;
            worker_.recycle(block);
            if (cursor.ended) return false;
            continue;
        }
        // A loop starts over inside one generation: the block says which frame it holds.
        cursor.block = block;
        cursor.offset = 0;
        cursor.frame = block->startFrame;
        return true;
    }
}

int Voice::readCursor(Cursor& cursor, Feed feed, std::uint32_t generation, float* out, int frames,
                      bool waitForData) {
    int got = 0;
    // A loop change takes over exactly at its frame: the read stops there, and goes on in the
    // new generation when that is decoded.
    const bool splicing = &cursor == &current_ && feed == Feed::Queue;
    while (got < frames) {
        if (splicing && splice_.pending && cursor.frame == splice_.at && !cursor.ended &&
            spliceNow(waitForData))
            generation = generation_;
        if (!cursor.block && (cursor.ended || !fetchBlock(cursor, feed, generation, waitForData)))
            break;
        Block* block = cursor.block;
        int n = std::min(frames - got, block->frames - cursor.offset);
        if (splicing && splice_.pending && cursor.frame < splice_.at &&
            cursor.frame + n > splice_.at)
            n = int(splice_.at - cursor.frame);
        const std::int16_t* from = block->samples + std::size_t(cursor.offset) * channels_;
        float* to = out + std::size_t(got) * channels_;
        for (int i = 0; i < n * channels_; ++i)
            to[i] = fromPcm16(from[i]);
        got += n;
        cursor.offset += n;
        cursor.frame += n;
        if (cursor.offset == block->frames) {
            if (block->endOfStream) cursor.ended = true;
            worker_.recycle(block);
            cursor.block = nullptr;
            // Offline the worker is woken at once rather than at its next poll; the audio
            // thread never wakes it, as that is a system call.
            if (waitForData) worker_.wake();
        }
    }
    return got;
}

int Voice::readSource(float* out, int frames, bool waitForData) {
    if (jump_ == JumpState::None)
        return readCursor(current_, Feed::Queue, generation_, out, frames, waitForData);
    if (jump_ == JumpState::Waiting)
        return readCursor(current_, Feed::Held, generation_, out, frames, false);
    int got = 0;
    while (got < frames && jump_ == JumpState::CrossFading) {
        const int n = crossFade(out + std::size_t(got) * channels_, frames - got, waitForData);
        got += n;
        if (n == 0) return got;
    }
    // A jump queued behind the cross-fade has begun: the caller polls it before reading on.
    if (jumping()) return got;
    return got + readCursor(current_, Feed::Queue, generation_, out + std::size_t(got) * channels_,
                            frames - got, waitForData);
}

int Voice::resample(float* out, int frames, bool waitForData) {
    const double step =
        std::clamp(double(currentRate_) / outputRate_, kMinStep, SincResampler::kMaxStep);
    const int needed = int(std::ceil(frames * step)) + SincResampler::lookAhead(step) + 1;
    int produced = 0;
    for (int attempt = 0; produced < frames && attempt < 8; ++attempt) {
        int available = inputFrames_ - inputOffset_;
        if (available < needed && !sourceEnded()) {
            std::memmove(input_.data(), input_.data() + std::size_t(inputOffset_) * channels_,
                         sizeof(float) * std::size_t(available) * channels_);
            inputOffset_ = 0;
            inputFrames_ = available;
            pollJump(waitForData);  // an arriving jump takes over the unread input
            float* into = input_.data() + std::size_t(inputFrames_) * channels_;
            inputFrames_ +=
                stretching_
                    ? pullStretched(into,
                                    std::min(kInputFrames - inputFrames_, needed - available + 256),
                                    waitForData)
                    : readSource(into, kInputFrames - inputFrames_, waitForData);
            available = inputFrames_;
        }
        // The step glides from the last call's to this one across the call's output.
        const SincResampler::Result result = resampler_.process(
            input_.data() + std::size_t(inputOffset_) * channels_, available, sourceEnded(),
            out + std::size_t(produced) * channels_, frames - produced, step);
        inputOffset_ += result.inputUsed;
        produced += result.outputMade;
        // Stretched frames stand for fewer or more of the song's own.
        position_ +=
            stretching_ ? result.sourceAdvance / keyLock_.timeRatio() : result.sourceAdvance;
        if (result.outputMade == 0 && (sourceEnded() || result.inputUsed == 0)) break;
    }
    return produced;
}

// Entering or leaving the resampler happens while silent (the caller fades out first), so the
// jump by the resampler's own look-ahead is never heard.
void Voice::switchPath(int rate, bool stretch) {
    const bool toBypass = !stretch && !stretching_ && rate == outputRate_;
    currentRate_ = rate;
    if (stretch && !stretching_) {
        // What the resampler has not read yet goes into the stretcher first: it comes out of it
        // at the place the voice was heard, so the lock changes the sound, not the place.
        position_ = double(current_.frame - (inputFrames_ - inputOffset_));
        keyLock_.restart();
        for (int at = inputOffset_; at < inputFrames_; at += KeyLockStage::kMaxFeed)
            keyLock_.feed(input_.data() + std::size_t(at) * channels_,
                          std::min(KeyLockStage::kMaxFeed, inputFrames_ - at), false);
        inputOffset_ = inputFrames_ = 0;
        resampler_.reset();
        stretching_ = true;
        return;
    }
    if (toBypass) {
        // Unread resampler input plays first, straight.
        position_ = double(current_.frame - (inputFrames_ - inputOffset_));
    } else {
        resampler_.reset();
    }
}

namespace {

// Up to `frames` frames out of a stretcher, fed in steady blocks by `read` (frames into a
// buffer, how many came) as it needs; `ended` says whether a read of none was the last.
template <class Read, class Ended>
int pull(KeyLockStage& stage, float* feed, int channels, float* out, int frames, Read read,
         Ended ended) {
    int got = 0;
    bool fedFinal = false;
    for (int round = 0; got < frames && round < 64; ++round) {
        if (stage.available() > 0) {
            got += stage.retrieve(out + std::size_t(got) * channels, frames - got);
            continue;
        }
        if (fedFinal) break;
        const int n = read(feed, KeyLockStage::kFeedFrames);
        fedFinal = n == 0 && ended();
        if (n == 0 && !fedFinal) break;
        stage.feed(feed, n, fedFinal);
    }
    return got;
}

}  // namespace

// Up to `frames` frames out of the key lock's stretcher, fed from the source as it needs.
int Voice::pullStretched(float* out, int frames, bool waitForData) {
    int got = 0;
    while (got < frames && jump_ == JumpState::CrossFading) {
        const int n =
            crossFadeStretched(out + std::size_t(got) * channels_, frames - got, waitForData);
        got += n;
        if (n == 0) return got;
    }
    return got + pull(
                     keyLock_, stretchFeed_.data(), channels_, out + std::size_t(got) * channels_,
                     frames - got, [&](float* to, int n) { return readSource(to, n, waitForData); },
                     [&] { return sourceEnded(); });
}

// A key-locked jump's cross-fade after stretching: the new place's stretcher rising over the
// old place's falling, with the shape of the start and stop fades.
int Voice::crossFadeStretched(float* out, int frames, bool waitForData) {
    frames = std::min({frames, fadeFrames_ - fadeDone_, kInputFrames});
    const int got = pull(
        incomingLock_, stretchFeed_.data(), channels_, out, frames,
        [&](float* to, int n) {
            return readCursor(incoming_, Feed::Queue, jumpGeneration_, to, n, waitForData);
        },
        [&] { return incoming_.ended; });
    if (got == 0 && !incoming_.ended) {
        // The new place's stretcher wants more than is decoded yet: the old place plays on.
        return pull(
            keyLock_, stretchFeed_.data(), channels_, out, frames,
            [&](float* to, int n) {
                return readCursor(current_, Feed::Held, generation_, to, n, false);
            },
            [&] { return current_.ended; });
    }
    const int old = pull(
        keyLock_, stretchFeed_.data(), channels_, fadeScratch_.data(), got,
        [&](float* to, int n) {
            return readCursor(current_, Feed::Held, generation_, to, n, false);
        },
        [&] { return current_.ended; });
    blendFade(out, got, old);
    if (fadeDone_ >= fadeFrames_ || got == 0) finishJump();  // done, or the new place ended
    return got;
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
        got = carried;
        position_ += carried;
        while (got < frames) {
            pollJump(waitForData);
            const int n = readSource(out + std::size_t(got) * channels_, frames - got, waitForData);
            got += n;
            position_ += n;
            if (n == 0) break;
        }
    } else {
        got = resample(out, frames, waitForData);
    }
    // The audible position cannot run ahead of what was read.
    const Cursor& reading = jump_ == JumpState::CrossFading ? incoming_ : current_;
    if (jump_ != JumpState::Waiting) position_ = std::min(position_, double(reading.frame));
    if (channels_ == 1) {
        for (int i = got - 1; i >= 0; --i)
            out[2 * i] = out[2 * i + 1] = out[i];
    }
    return got;
}

}  // namespace kelvra::audio::engine
