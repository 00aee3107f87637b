#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {

void addDynamicsAndTurntableEffects(std::vector<BuiltinEntry>&) {}

}  // namespace kelvra::audio::fx
