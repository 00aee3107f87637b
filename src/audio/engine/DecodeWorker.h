// Decodes one stream ahead of playback on its own thread, into a fixed pool of PCM blocks that
// the audio thread takes in order. A seek starts a new generation: blocks of older generations
// are dropped by the consumer, so the producer never has to reach into the consumer's queue.
// Threads: the constructor, seek(), wake() and the destructor belong to the
// controlling thread (seek() also to an offline consumer, which is that thread);
// nextBlock()/recycle() to the one consumer (the audio thread, or the offline renderer); the worker
// thread is private.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Decoder.h"
#include "audio/engine/SpscQueue.h"

namespace kelvra::audio::engine {

struct Block {
    std::uint32_t generation = 0;
    std::int64_t startFrame = 0;
    int frames = 0;  // 0 with endOfStream set: nothing more in this generation
    bool endOfStream = false;
    std::int16_t* samples = nullptr;  // frames * channels, interleaved
};

class DecodeWorker {
  public:
    static constexpr int kBlockFrames = 1024;

    // Decodes `aheadSeconds` of audio ahead of the consumer; starts at frame 0, generation 0.
    DecodeWorker(std::unique_ptr<Decoder> decoder, double aheadSeconds);
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    PcmFormat format() const { return format_; }
    std::int64_t lengthFrames() const { return length_; }

    // Controlling thread: decode from `frame` on, stamped with `generation`.
    void seek(std::uint32_t generation, std::int64_t frame);
    // Any non-real-time thread: makes the worker look at its queues now instead of at its next
    // poll.
    void wake();

    // Consumer: the oldest decoded block, or null when none is ready; popBlock() takes it. The
    // consumer returns every block it took with recycle().
    Block* peekBlock() const;
    void popBlock();
    void recycle(Block* block);

  private:
    void run();
    bool decodeOne(std::uint32_t generation, std::int64_t& nextFrame, bool& ended);

    std::unique_ptr<Decoder> decoder_;
    const PcmFormat format_;
    const std::int64_t length_;
    std::vector<std::int16_t> storage_;
    std::vector<Block> blocks_;
    SpscQueue<Block*> ready_;  // worker -> consumer
    SpscQueue<Block*> free_;   // consumer -> worker

    mutable std::mutex mutex_;
    std::condition_variable wakeup_;
    std::uint32_t seekGeneration_ = 0;  // guarded by mutex_
    std::int64_t seekFrame_ = 0;        // guarded by mutex_
    bool quit_ = false;                 // guarded by mutex_
    std::thread thread_;
};

}  // namespace kelvra::audio::engine
