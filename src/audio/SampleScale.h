// The one scale between 16-bit PCM and floating point: full scale is 32768 both ways, so a
// sample goes to float and back unchanged, and float goes to 16 bits by rounding to nearest (ties
// to even, the rounding mode's default) and clipping. Threads: any; plain arithmetic.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kelvra::audio {

inline constexpr float kPcm16FullScale = 32768.0f;

inline float fromPcm16(std::int16_t sample) {
    return float(sample) * (1.0f / kPcm16FullScale);  // a power of two: exact
}

inline std::int16_t toPcm16(float sample) {
    return std::int16_t(std::clamp<long>(std::lrint(sample * kPcm16FullScale), -32768, 32767));
}

inline void toPcm16(const float* from, std::int16_t* to, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i)
        to[i] = toPcm16(from[i]);
}

inline void fromPcm16(const std::int16_t* from, float* to, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i)
        to[i] = fromPcm16(from[i]);
}

}  // namespace kelvra::audio
