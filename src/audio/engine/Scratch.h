// Scratching: while the DJ holds the jog wheel, the needle follows the wheel, forward and back,
// through a window of the song decoded around the place it was touched. The player turns the
// wheel's position into audio at the output rate: the needle's speed glides towards what the
// wheel asks (so a reversal passes smoothly through standstill, never a step), samples are read
// between frames with cubic interpolation, and a gentle DC blocker lets a held record fall
// silent instead of holding a level.
// Threads: a ScratchWindow is built on a worker and handed over whole; the player belongs to the
// mixer's consumer.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvra::audio::engine {

struct ScratchWindow {
    std::int64_t startFrame = 0;  // the song's frame at samples[0]
    std::int64_t frames = 0;
    std::vector<float> samples;  // stereo, interleaved, -1..1
    bool holds(double frame) const {
        return frame >= double(startFrame) && frame < double(startFrame + frames);
    }
};

class ScratchPlayer {
  public:
    // Sizes the glides for the output rate.
    void prepare(int outputRate);
    // The wheel is touched with the needle at `frame`.
    void begin(double frame);
    // Renders `frames` stereo frames into `out` with the needle moving towards `target` (song
    // frames), no faster than kMaxSpeed times the song's own speed. `freeStep` >= 0 instead lets
    // the needle run at that many song frames per output frame (the wheel let go).
    void render(const ScratchWindow& window, double target, double freeStep, float* out,
                int frames);
    double position() const { return position_; }
    double speed() const { return speed_; }

    static constexpr double kMaxSpeed = 8.0;

  private:
    double position_ = 0;  // song frame under the needle
    double speed_ = 0;     // song frames per output frame
    double followRate_ = 0, glide_ = 0, blocker_ = 0;
    float lastIn_[2] = {}, lastOut_[2] = {};
};

}  // namespace kelvra::audio::engine
