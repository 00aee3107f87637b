// The linear ramp every gain, pan and envelope of the mix moves by: a value steps towards its
// target by a fixed amount a frame and lands on it exactly, so a change is spread over the
// frames it takes and then holds still. Threads: plain arithmetic, for the mixer's consumer.
#pragma once

#include <algorithm>

namespace kelvra::audio::engine {

inline float approach(float value, float target, float step) {
    if (value < target) return std::min(value + step, target);
    return std::max(value - step, target);
}

}  // namespace kelvra::audio::engine
