#include "audio/engine/DecodeWorker.h"

#include <algorithm>
#include <cmath>

#include "audio/engine/AudioThread.h"

namespace kelvra::audio::engine {
namespace {

int blockCountFor(double seconds, int rate) {
    const double frames = seconds * rate;
    // One block is with the consumer while the rest are ahead of it.
    return static_cast<int>(std::ceil(frames / DecodeWorker::kBlockFrames)) + 2;
}

}  // namespace

DecodeWorker::DecodeWorker(std::unique_ptr<Decoder> decoder, double aheadSeconds)
    : decoder_(std::move(decoder)),
      format_(decoder_->format()),
      length_(decoder_->lengthFrames()),
      ready_(static_cast<std::size_t>(blockCountFor(aheadSeconds, format_.rate))),
      free_(static_cast<std::size_t>(blockCountFor(aheadSeconds, format_.rate))) {
    const int count = blockCountFor(aheadSeconds, format_.rate);
    const std::size_t blockSamples = std::size_t(kBlockFrames) * format_.channels;
    storage_.resize(blockSamples * count);
    blocks_.resize(count);
    for (int i = 0; i < count; ++i) {
        blocks_[i].samples = storage_.data() + blockSamples * i;
        free_.push(&blocks_[i]);
    }
    seam_.resize(std::size_t(kSeamFrames) * format_.channels);
    warmStorage_.resize(blockSamples * kWarmSlots * kWarmBlocks);
    for (int s = 0; s < kWarmSlots; ++s) {
        for (int b = 0; b < kWarmBlocks; ++b) {
            Block& block = warm_[s].blocks[b];
            block.warm = true;
            block.samples = warmStorage_.data() + blockSamples * (s * kWarmBlocks + b);
        }
    }
    thread_ = std::thread([this] { run(); });
}

DecodeWorker::~DecodeWorker() {
    quit_ = true;
    signal();
    thread_.join();
}

void DecodeWorker::signal() {
    KELVRA_ASSERT_MAY_BLOCK();
    signal_.fetch_add(1);
    // Taking the lock orders the bump before the worker's check-then-wait: no wake is lost.
    { const std::lock_guard lock(sleepMutex_); }
    wakeUp_.notify_one();
}

void DecodeWorker::seek(std::uint32_t generation, std::int64_t frame, LoopSpan loop,
                        std::int64_t seamFrom) {
    KELVRA_ASSERT_MAY_BLOCK();
    {
        std::lock_guard lock(mutex_);
        seekGeneration_ = generation;
        seekFrame_ = frame;
        seekLoop_ =
            loop.on() ? LoopSpan{std::max<std::int64_t>(0, loop.start), std::min(loop.end, length_)}
                      : LoopSpan{};
        seekSeam_ = seamFrom;
        seekPending_ = true;
    }
    signal();
}

void DecodeWorker::wake() {
    signal();
}

void DecodeWorker::keepWarm(int slot, std::int64_t frame) {
    KELVRA_ASSERT_MAY_BLOCK();
    if (slot < 0 || slot >= kWarmSlots) return;
    frame = frame < 0 || frame >= length_ ? -1 : frame;
    if (warm_[slot].want.exchange(frame) != frame) signal();
}

int DecodeWorker::pinWarm(std::int64_t frame, std::int64_t& frames) {
    for (int s = 0; s < kWarmSlots; ++s) {
        WarmSlot& slot = warm_[s];
        if (slot.frame.load() != frame || !slot.ready.load()) continue;
        // Pin, then look again: the worker clears `ready` before it checks the pin, so one of
        // the two always sees the other.
        slot.pinned.fetch_add(1);
        if (slot.ready.load() && slot.frame.load() == frame) {
            frames = 0;
            for (int b = 0; b < slot.count; ++b)
                frames += slot.blocks[b].frames;
            return s;
        }
        slot.pinned.fetch_sub(1);
    }
    return -1;
}

Block* DecodeWorker::warm(int slot, int index) {
    if (slot < 0 || slot >= kWarmSlots || index >= warm_[slot].count) return nullptr;
    return &warm_[slot].blocks[index];
}

void DecodeWorker::unpinWarm(int slot) {
    if (slot >= 0 && slot < kWarmSlots) warm_[slot].pinned.fetch_sub(1);
}

Block* DecodeWorker::peekBlock() const {
    Block* const* block = ready_.front();
    return block ? *block : nullptr;
}

void DecodeWorker::popBlock() {
    ready_.pop();
}

void DecodeWorker::recycle(Block* block) {
    if (block->warm) return;
    free_.push(block);  // cannot fail: every block has one place, and the queue holds them all
}

void DecodeWorker::run() {
    std::uint32_t generation = 0;
    std::int64_t nextFrame = 0;
    bool ended = false;
    for (;;) {
        const std::uint32_t seen = signal_.load();
        if (quit_) return;
        {
            std::unique_lock lock(mutex_);
            if (seekPending_) {
                seekPending_ = false;
                generation = seekGeneration_;
                nextFrame = seekFrame_;
                loop_ = seekLoop_;
                const std::int64_t seam = seekSeam_;
                ended = false;
                lock.unlock();
                seamFrames_ = seamDone_ = 0;
                if (seam >= 0 && seam != nextFrame && decoder_->seek(seam)) takeSeam();
                if (!decoder_->seek(nextFrame)) ended = true;
            }
        }
        if (!ended && decodeOne(generation, nextFrame, ended)) continue;
        // The read-ahead is full (or at the end): time for the warm places.
        if (fillWarm(ended ? -1 : nextFrame)) continue;
        // Until the controlling thread asks for something; while more can be decoded, also
        // until the next poll for blocks the consumer handed back.
        std::unique_lock lock(sleepMutex_);
        const auto asked = [&] { return signal_.load() != seen; };
        if (ended)
            wakeUp_.wait(lock, asked);
        else
            wakeUp_.wait_for(lock, kRecyclePoll, asked);
    }
}

std::int64_t DecodeWorker::decodeInto(Block& block, std::int64_t startFrame, bool& ended,
                                      int limit) {
    std::int64_t got = 0;
    while (got < limit) {
        const std::int64_t n = decoder_->read(block.samples + got * format_.channels, limit - got);
        if (n <= 0) {
            ended = true;  // a decoding failure ends the stream like its natural end
            break;
        }
        got += n;
    }
    if (startFrame + got >= length_) ended = true;  // the length is exact: say so with the data
    block.startFrame = startFrame;
    block.frames = static_cast<int>(got);
    block.endOfStream = ended;
    return got;
}

// Decodes one block into a free slot; false when there is no free slot. A block never runs past
// a loop's end: the next one starts the loop again.
bool DecodeWorker::decodeOne(std::uint32_t generation, std::int64_t& nextFrame, bool& ended) {
    Block* block = nullptr;
    if (!free_.pop(block)) return false;
    block->generation = generation;
    const bool looping = loop_.on() && nextFrame < loop_.end;
    const int limit =
        looping ? int(std::min<std::int64_t>(kBlockFrames, loop_.end - nextFrame)) : kBlockFrames;
    nextFrame += decodeInto(*block, nextFrame, ended, limit);
    blendSeam(*block);
    if (looping && nextFrame == loop_.end) {
        // Round again: the seam fades the audio after the loop's end out over its start.
        ended = false;
        block->endOfStream = false;
        takeSeam();
        if (!decoder_->seek(loop_.start)) ended = true;
        nextFrame = loop_.start;
    }
    ready_.push(block);  // cannot fail: the pool is no larger than the queue
    pushed_.store(generation, std::memory_order_release);
    return true;
}

void DecodeWorker::takeSeam() {
    // Past the song's end there is nothing to fade out: the rest stays silent.
    std::int64_t got = 0;
    while (got < kSeamFrames) {
        const std::int64_t n =
            decoder_->read(seam_.data() + got * format_.channels, kSeamFrames - got);
        if (n <= 0) break;
        got += n;
    }
    std::fill(seam_.begin() + got * format_.channels, seam_.end(), std::int16_t(0));
    seamFrames_ = kSeamFrames;
    seamDone_ = 0;
}

void DecodeWorker::blendSeam(Block& block) {
    const int channels = format_.channels;
    int i = 0;
    for (; i < block.frames && seamDone_ < seamFrames_; ++i, ++seamDone_) {
        // Raised cosine: no corner at either end of the blend.
        const double rise = 0.5 - 0.5 * std::cos(M_PI * (seamDone_ + 0.5) / seamFrames_);
        for (int c = 0; c < channels; ++c) {
            std::int16_t& sample = block.samples[std::size_t(i) * channels + c];
            const double mixed =
                sample * rise + seam_[std::size_t(seamDone_) * channels + c] * (1 - rise);
            sample = std::int16_t(std::clamp(std::lrint(mixed), -32768L, 32767L));
        }
    }
    if (seamDone_ >= seamFrames_) seamFrames_ = seamDone_ = 0;
}

// Decodes one warm place that is not what it should be; false when all are. The decoder then
// goes back to `resumeFrame` (-1: the main read has ended and needs nothing).
bool DecodeWorker::fillWarm(std::int64_t resumeFrame) {
    for (WarmSlot& slot : warm_) {
        const std::int64_t want = slot.want.load();
        if (want == slot.handled) continue;
        const bool was = slot.ready.exchange(false);
        if (slot.pinned.load() > 0) {
            // A jump reads it right now: leave it, it is still whole.
            slot.ready = was;
            continue;
        }
        slot.handled = want;
        slot.frame = -1;
        slot.count = 0;
        if (want >= 0 && decoder_->seek(want)) {
            bool ended = false;
            std::int64_t at = want;
            for (Block& block : slot.blocks) {
                at += decodeInto(block, at, ended);
                if (block.frames > 0) ++slot.count;
                if (ended) break;
            }
            slot.frame = want;
            slot.ready = slot.count > 0;
        } else {
            slot.frame = want;  // nothing to keep, or a place that cannot be reached
        }
        if (resumeFrame >= 0) decoder_->seek(resumeFrame);
        return true;
    }
    return false;
}

}  // namespace kelvra::audio::engine
