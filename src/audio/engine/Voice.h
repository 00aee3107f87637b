// The audio-thread side of one stream: takes decoded blocks in order, resamples them from the
// playback rate to the output rate (bypassed at ratio 1), applies ramped volume and pan and the
// start/stop/seek fades, adds the result to the mix, and meters the stream before its volume and
// pan. Threads: the constructor and destructor run on the controlling thread while the mixer does
// not hold the voice; prepare(), the command methods and mixInto() run on whoever is the mixer's
// consumer at the time (audio thread, offline renderer, or the controlling thread while no output
// runs); `shared` is the only part the controlling thread touches while a consumer runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/engine/DecodeWorker.h"
#include "audio/engine/SincResampler.h"

namespace kelvra::audio::engine {

// Values crossing between the controlling thread and the consumer, one atomic each.
struct VoiceShared {
    // Written by the controlling thread.
    std::atomic<int> rate{44100};
    std::atomic<int> volume{100};
    std::atomic<int> pan{0};
    std::atomic<float> gain{1.0f};  // linear correction before volume and pan
    // Written by the consumer. `position` packs the seek generation it belongs to (upper 20 bits)
    // with the frame (lower 44 bits), so a reader can tell a position from before a seek.
    std::atomic<std::uint64_t> position{0};
    std::atomic<std::uint32_t> level{0};
    std::atomic<std::uint32_t> endedSerial{0};  // play serial that ran to the end of the stream
};

inline constexpr int kPositionBits = 44;
inline std::uint64_t packPosition(std::uint32_t generation, std::int64_t frame) {
    return (std::uint64_t(generation & 0xFFFFF) << kPositionBits) | std::uint64_t(frame);
}

class Voice {
  public:
    Voice(DecodeWorker& worker, std::atomic<std::uint64_t>& starvedFrames);
    ~Voice();
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    VoiceShared shared;

    // Sizes the ramps, fades and meter for this output rate. Never allocates.
    void prepare(int outputRate);

    // Consumer: commands.
    void play(std::uint32_t serial);
    void halt();  // pause and stop alike: fade out, keep the position
    void seek(std::uint32_t generation, std::int64_t frame, std::uint32_t serial);

    // Consumer: adds `frames` stereo frames into `mix`. With `waitForData` (offline rendering) a
    // block not decoded yet is waited for; otherwise it plays as silence and is counted.
    void mixInto(float* mix, int frames, bool waitForData);

    static constexpr int kMaxChunk = 256;

  private:
    bool bypass() const { return currentRate_ == outputRate_; }
    int renderSource(float* out, int frames, bool waitForData);
    int readSource(float* out, int frames, bool waitForData);
    bool fetchBlock(bool waitForData);
    int resample(float* out, int frames, bool waitForData);
    void applySeek();
    void switchPath(int rate);
    void publishPosition();
    void meter(const float* stereo, int frames, float correction);
    void clearMeter();

    DecodeWorker& worker_;
    std::atomic<std::uint64_t>& starvedFrames_;
    const int channels_;
    const std::int64_t length_;
    int outputRate_ = 44100;

    // Transport, as the consumer sees it.
    bool wantPlaying_ = false;
    bool ended_ = false;
    bool seekPending_ = false;
    std::uint32_t generation_ = 0;
    std::uint32_t pendingGeneration_ = 0;
    std::int64_t pendingFrame_ = 0;
    std::uint32_t serial_ = 0;

    // The block being read and the read cursor (next source frame taken from the blocks).
    Block* block_ = nullptr;
    int blockOffset_ = 0;
    std::int64_t readFrame_ = 0;
    bool sourceEnded_ = false;
    double position_ = 0;  // source frame now audible

    // Resampling.
    int currentRate_ = 44100;
    std::vector<float> input_;  // source frames waiting for the resampler
    int inputOffset_ = 0;       // first frame of input_ not given to the resampler yet
    int inputFrames_ = 0;

    // Gains and fades, per output sample.
    float gainLeft_ = 1, gainRight_ = 1;
    float gainStep_ = 0;
    int chunkFrames_ = kMaxChunk;
    float envelope_ = 0, envelopeStep_ = 0;
    std::vector<float> scratch_;  // stereo source frames of one chunk
    SincResampler resampler_;

    // Meter: peaks of the last few slices of ~5 ms.
    static constexpr int kSlices = 4;
    float slicePeaks_[kSlices][2] = {};
    int slice_ = 0, sliceFill_ = 0, sliceFrames_ = 220;
};

}  // namespace kelvra::audio::engine
