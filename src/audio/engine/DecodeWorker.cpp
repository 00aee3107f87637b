#include "audio/engine/DecodeWorker.h"

#include <chrono>
#include <cmath>

namespace kelvra::audio::engine {
namespace {

// The worker polls its free queue this often, because the audio thread never signals it: a
// condition variable notify is a system call we keep off the audio thread. Against a buffer of at
// least 200 ms, a millisecond of delay costs nothing.
constexpr auto kPollInterval = std::chrono::milliseconds(1);

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
    thread_ = std::thread([this] { run(); });
}

DecodeWorker::~DecodeWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wakeup_.notify_one();
    thread_.join();
}

void DecodeWorker::seek(std::uint32_t generation, std::int64_t frame) {
    {
        std::lock_guard lock(mutex_);
        seekGeneration_ = generation;
        seekFrame_ = frame;
    }
    wakeup_.notify_one();
}

void DecodeWorker::wake() {
    wakeup_.notify_one();
}

Block* DecodeWorker::peekBlock() const {
    Block* const* block = ready_.front();
    return block ? *block : nullptr;
}

void DecodeWorker::popBlock() {
    ready_.pop();
}

void DecodeWorker::recycle(Block* block) {
    free_.push(block);
}

void DecodeWorker::run() {
    std::uint32_t generation = 0;
    std::int64_t nextFrame = 0;
    bool ended = false;
    bool first = true;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (quit_) return;
            if (first || seekGeneration_ != generation) {
                first = false;
                generation = seekGeneration_;
                nextFrame = seekFrame_;
                ended = false;
                lock.unlock();
                if (!decoder_->seek(nextFrame)) ended = true;
            }
        }
        if (!ended && decodeOne(generation, nextFrame, ended)) continue;
        std::unique_lock lock(mutex_);
        if (quit_) return;
        if (seekGeneration_ == generation) wakeup_.wait_for(lock, kPollInterval);
    }
}

// Decodes one block into a free slot; false when there is no free slot.
bool DecodeWorker::decodeOne(std::uint32_t generation, std::int64_t& nextFrame, bool& ended) {
    Block* block = nullptr;
    if (!free_.pop(block)) return false;
    std::int64_t got = 0;
    while (got < kBlockFrames) {
        const std::int64_t n =
            decoder_->read(block->samples + got * format_.channels, kBlockFrames - got);
        if (n <= 0) {
            ended = true;  // a decoding failure ends the stream like its natural end
            break;
        }
        got += n;
    }
    if (nextFrame + got >= length_) ended = true;  // the length is exact: say so with the data
    block->generation = generation;
    block->startFrame = nextFrame;
    block->frames = static_cast<int>(got);
    block->endOfStream = ended;
    nextFrame += got;
    ready_.push(block);  // cannot fail: the pool is no larger than the queue
    return true;
}

}  // namespace kelvra::audio::engine
