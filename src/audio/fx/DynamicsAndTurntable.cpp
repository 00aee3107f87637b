// The dynamics and turntable group of the built-ins, in the order the list shows them. The
// effects themselves live in BitcrusherAndGate.cpp, Turntable.cpp and Dynamics.cpp.
#include "audio/fx/BuiltinsInternal.h"
#include "audio/fx/DynamicsSupport.h"

namespace kelvra::audio::fx {

void addDynamicsAndTurntableEffects(std::vector<BuiltinEntry>& list) {
    list.push_back(dynamics::bitcrusherEntry());
    list.push_back(dynamics::gateEntry());
    list.push_back(dynamics::brakeEntry());
    list.push_back(dynamics::spinbackEntry());
    list.push_back(dynamics::compressorEntry());
    list.push_back(dynamics::limiterEntry());
}

}  // namespace kelvra::audio::fx
