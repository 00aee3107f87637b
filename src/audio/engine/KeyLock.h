// The key lock's time stretcher for one voice: Rubber Band in its real-time mode, fed the
// voice's source frames in steady blocks and giving them back at another tempo and the same
// pitch (or shifted by whole semitones). Made, with all its memory, on the controlling thread;
// used only by the mixer's consumer, where it neither allocates nor blocks as long as no feed
// exceeds kMaxFeed.
#pragma once

#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace kelvra::audio::engine {

class KeyLockStage {
  public:
    static constexpr int kMaxFeed = 1024;
    // What a voice feeds at a time while it plays: one steady size, small enough that every
    // output period costs about the same instead of every fourth paying for four.
    static constexpr int kFeedFrames = 256;

    KeyLockStage(int rate, int channels);
    ~KeyLockStage();
    KeyLockStage(const KeyLockStage&) = delete;
    KeyLockStage& operator=(const KeyLockStage&) = delete;

    // Starts afresh: the stretcher's start is padded, and its delay dropped from the output, so
    // the first frame out is the first frame fed.
    void restart();
    // `time`: output length per input length; `pitch`: frequency factor.
    void setRatios(double time, double pitch);
    double timeRatio() const { return time_; }
    double pitchScale() const { return pitch_; }
    // Interleaved frames in (at most kMaxFeed); `final` after the source's last.
    void feed(const float* frames, int count, bool final);
    int available() const;
    // Up to `count` interleaved frames out; how many came.
    int retrieve(float* frames, int count);
    // Trades places with another stage (a jump's, started at the new place): no allocation.
    void swap(KeyLockStage& other) noexcept;

  private:
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    int channels_;
    double time_ = 1, pitch_ = 1;
    std::vector<float> planes_;  // kMaxFeed frames per channel, for feeding and retrieving
    std::vector<float*> pointers_;
    long dropping_ = 0;  // start-delay frames still to drop from the output
};

}  // namespace kelvra::audio::engine
