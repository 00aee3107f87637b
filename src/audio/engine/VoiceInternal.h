// What the voice's own files share: the resampler's input size, how long offline rendering
// waits for a block, and the fades' shape. Private to the voice. Thread: the voice's consumer.
#pragma once

#include <chrono>

namespace kelvra::audio::engine {

inline constexpr int kInputFrames = 8192;  // resampler input, enough for the lowest ratio
// Offline rendering waits this long for a block before giving up and playing silence.
inline constexpr auto kOfflineWait = std::chrono::seconds(5);

// A smooth envelope shape: zero slope at both ends, so a fade adds no corner of its own.
inline float shape(float e) {
    return e * e * (3.0f - 2.0f * e);
}

}  // namespace kelvra::audio::engine
