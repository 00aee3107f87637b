// A stream's rate converter: Kaiser-windowed sinc interpolation from a precomputed polyphase
// table, with the rate gliding linearly across each call so a bend or a turntable stop sounds
// continuous. Images and aliases stay 80 dB down at every step, the passband is flat to 18 kHz at
// 44.1 kHz. Slower than the output rate it costs 64 multiplies a sample per channel and 64 for the
// coefficients; faster, the kernel widens by the step so nothing above the output's Nyquist folds
// back, and the cost grows with it. A steady step plays from a table made once for it, a gliding
// one reckons its coefficients frame by frame. Allocates only in the constructor, so the audio
// thread may call everything else. Thread: one consumer at a time.
#pragma once

#include <vector>

namespace kelvra::audio::engine {

class SincResampler {
  public:
    // Input frames per output frame the converter handles; beyond it plays at this step.
    static constexpr double kMaxStep = 16.0;

    SincResampler(int channels, int inputCapacity);

    // Forgets all input: the next frame given is the start of a new signal.
    void reset();

    struct Result {
        int inputUsed = 0;
        int outputMade = 0;
        double sourceAdvance = 0;  // input frames the output moved across
    };
    // Takes up to `available` interleaved frames of `input` and makes up to `frames` output
    // frames, the step (input frames per output frame) gliding from the previous call's to
    // `step`. With `endOfInput`, the signal is taken to be silent after the last frame given.
    Result process(const float* input, int available, bool endOfInput, float* out, int frames,
                   double step);

    // The frames the kernel looks ahead: output at source time t needs input up to t + this.
    static int lookAhead(double step);

  private:
    template <int Channels>
    Result run(float* out, int frames, double step);
    void compact();
    void stretch(double step);
    float* channel(int ch) { return buffer_.data() + std::size_t(ch) * capacity_; }

    const int channels_;
    std::vector<float> buffer_;  // input frames from the oldest one the kernel still needs
    int capacity_ = 0;           // frames buffer_ holds
    int filled_ = 0;             // frames of buffer_ in use
    int realEnd_ = -1;           // with end of input: frames of buffer_ that are signal
    int whole_ = 0;              // source time of the next output frame: the buffer_ frame
    double fraction_ = 0;        // and how far past it, 0 <= fraction_ < 1
    double lastStep_ = -1;       // step at the end of the previous call; -1: none yet
    // The kernel stretched for one steady step above one, as a polyphase table: one row of
    // stretchedTaps_ weights for each phase, like the unstretched table.
    std::vector<float> stretched_;
    int stretchedTaps_ = 0;
    double stretchedStep_ = 0;  // the step stretched_ holds; 0: none
};

}  // namespace kelvra::audio::engine
