// Integer conversions shared by every subsystem: nearest integer, halves to the even neighbour.
#pragma once

#include <cmath>
#include <cstdint>

namespace kelvra {

// Rounds to the nearest integer with halves going to the even neighbour (2.5 -> 2, 3.5 -> 4).
// std::round would send halves away from zero, which is not what the arithmetic expects.
inline std::int64_t roundEven(double value) {
    return static_cast<std::int64_t>(std::nearbyint(value));
}

}  // namespace kelvra
