// Which of the two decks.
#pragma once

namespace kelvra {

enum class Side { Left = 0, Right = 1 };

inline constexpr Side otherSide(Side side) {
    return side == Side::Left ? Side::Right : Side::Left;
}
inline constexpr int sideIndex(Side side) {
    return static_cast<int>(side);
}

}  // namespace kelvra
