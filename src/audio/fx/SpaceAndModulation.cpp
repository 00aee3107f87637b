#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {

void addSpaceAndModulationEffects(std::vector<BuiltinEntry>&) {}

}  // namespace kelvra::audio::fx
