// Decodes one stream ahead of playback on its own thread, into a fixed pool of PCM blocks that
// the audio thread takes in order. A seek starts a new generation: blocks of older generations
// are dropped by the consumer, so the producer never has to reach into the consumer's queue.
// While the pool is full it also keeps a few places the deck is likely to jump to (its cue
// points) decoded in warm slots, so a jump there plays at once.
// Threads: the constructor, seek(), keepWarm(), pinWarm() and the destructor belong to the
// controlling thread (seek() also to an offline consumer, which is that thread); wake() to any
// thread but the audio thread; peekBlock()/popBlock()/recycle()/warm()/unpinWarm() to the one
// consumer (the audio thread, or the offline renderer); the worker thread is private. The
// consumer's calls are plain memory operations, never a system call: the worker finds the
// blocks handed back on its own, looking every kRecyclePoll while it waits for room.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
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
    bool warm = false;                // a warm slot's: read in place, never recycled
    std::int16_t* samples = nullptr;  // frames * channels, interleaved
};

// A loop over source frames [start, end): decoding that reaches `end` from below goes on at
// `start`, the seam blended over kSeamFrames so it never clicks, the loop exactly end - start
// frames long on every pass. Off when end <= start.
struct LoopSpan {
    std::int64_t start = 0, end = 0;
    bool on() const { return end > start; }
    bool operator==(const LoopSpan&) const = default;
};

class DecodeWorker {
  public:
    static constexpr int kBlockFrames = 1024;
    // Warm places per stream and how much of each is kept: 8 x 8 blocks is ~190 ms per place at
    // 44.1 kHz, 256 KB for a stereo deck.
    static constexpr int kWarmSlots = 8;
    static constexpr int kWarmBlocks = 8;

    // Decodes `aheadSeconds` of audio ahead of the consumer; starts at frame 0, generation 0.
    DecodeWorker(std::unique_ptr<Decoder> decoder, double aheadSeconds);
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    PcmFormat format() const { return format_; }
    std::int64_t lengthFrames() const { return length_; }

    // How long a loop's seam, or a splice's, is blended: ~6 ms at 44.1 kHz.
    static constexpr int kSeamFrames = 256;

    // Controlling thread: decode from `frame` on, stamped with `generation`, looping over
    // `loop`. With `seamFrom` >= 0 the first frames are blended in over the audio that follows
    // `seamFrom`, so a voice that played up to `seamFrom` goes on here without a click.
    void seek(std::uint32_t generation, std::int64_t frame, LoopSpan loop = {},
              std::int64_t seamFrom = -1);
    // Consumer: the newest generation with a block in the queue (it follows every older one).
    std::uint32_t pushedGeneration() const { return pushed_.load(std::memory_order_acquire); }
    // Any thread but the audio thread (it may enter the kernel): look at the queues and slots
    // now, rather than at the next poll.
    void wake();
    // How often a worker whose read-ahead is full looks for blocks the consumer handed back:
    // far inside the shortest read-ahead (0.2 s), and rare enough to cost nothing.
    static constexpr std::chrono::milliseconds kRecyclePoll{5};

    // Controlling thread: keep `frame` decoded in warm slot `slot` (-1: keep nothing there).
    void keepWarm(int slot, std::int64_t frame);
    // Controlling thread: a warm slot that holds `frame` ready, pinned so the worker leaves it
    // alone until the consumer unpins it; -1 when none does. `frames` gets how much it holds.
    int pinWarm(std::int64_t frame, std::int64_t& frames);

    // Consumer: the oldest decoded block, or null when none is ready; popBlock() takes it. The
    // consumer returns every block it took with recycle() (warm blocks are simply let go); the
    // worker picks it up at its next poll.
    Block* peekBlock() const;
    void popBlock();
    void recycle(Block* block);
    // Consumer: block `index` of a pinned warm slot, or null past its end.
    Block* warm(int slot, int index);
    void unpinWarm(int slot);

  private:
    struct WarmSlot {
        std::atomic<std::int64_t> want{-1};   // controlling thread: the frame to keep
        std::atomic<std::int64_t> frame{-1};  // worker: the frame the blocks start at
        std::atomic<bool> ready{false};
        std::atomic<int> pinned{0};
        std::array<Block, kWarmBlocks> blocks;
        int count = 0;              // blocks filled; written before `ready`
        std::int64_t handled = -1;  // worker only: the `want` it last acted on
    };

    void run();
    bool decodeOne(std::uint32_t generation, std::int64_t& nextFrame, bool& ended);
    bool fillWarm(std::int64_t resumeFrame);
    std::int64_t decodeInto(Block& block, std::int64_t startFrame, bool& ended,
                            int limit = kBlockFrames);
    // Reads the seam's far side at the decoder's place: what the blend fades out.
    void takeSeam();
    void blendSeam(Block& block);
    void signal();

    std::unique_ptr<Decoder> decoder_;
    const PcmFormat format_;
    const std::int64_t length_;
    std::vector<std::int16_t> storage_;
    std::vector<Block> blocks_;
    SpscQueue<Block*> ready_;  // worker -> consumer
    SpscQueue<Block*> free_;   // consumer -> worker
    std::vector<std::int16_t> warmStorage_;
    std::array<WarmSlot, kWarmSlots> warm_;

    // The controlling thread bumps `signal_` and wakes the worker at once; the audio thread
    // only hands blocks back, which the worker notices at its next poll.
    std::atomic<std::uint32_t> signal_{0};
    std::mutex sleepMutex_;
    std::condition_variable wakeUp_;
    mutable std::mutex mutex_;
    std::uint32_t seekGeneration_ = 0;  // guarded by mutex_
    std::int64_t seekFrame_ = 0;        // guarded by mutex_
    LoopSpan seekLoop_;                 // guarded by mutex_
    std::int64_t seekSeam_ = -1;        // guarded by mutex_
    bool seekPending_ = true;           // guarded by mutex_; the first decode starts at 0
    std::atomic<std::uint32_t> pushed_{0};
    // Worker only: the loop of the generation being decoded, and a seam being blended in.
    LoopSpan loop_;
    std::vector<std::int16_t> seam_;
    int seamFrames_ = 0, seamDone_ = 0;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

}  // namespace kelvra::audio::engine
