#include "controllers/CcDecoding.h"

#include <algorithm>
#include <cmath>

namespace kelvra::controllers {

int relativeSteps(CcMode mode, int value, Direction direction) {
    int steps = 0;
    if (mode == CcMode::Relative)
        steps = value < 64 ? value : value - 128;
    else if (mode == CcMode::Relative64)
        steps = value - 64;
    return direction == Direction::Inverted ? -steps : steps;
}

std::optional<int> FourteenBitPair::msb(int value) {
    if (msbPending_) msbOnly_ = true;
    msb_ = value;
    if (msbOnly_) return value << 7 | value;
    msbPending_ = true;
    return std::nullopt;
}

std::optional<int> FourteenBitPair::lsb(int value) {
    msbOnly_ = false;
    msbPending_ = false;
    if (!msb_) return std::nullopt;  // no MSB yet: where the fader is stays unknown
    return *msb_ << 7 | value;
}

bool SoftTakeover::follows(double hardware, double control) {
    if (!engaged_) {
        const bool near = std::abs(hardware - control) <= kTolerance;
        const bool crossed =
            last_ && std::min(*last_, hardware) <= control && control <= std::max(*last_, hardware);
        engaged_ = near || crossed;
    }
    last_ = hardware;
    return engaged_;
}

}  // namespace kelvra::controllers
