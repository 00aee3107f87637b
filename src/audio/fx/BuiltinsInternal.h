// How the built-in effects' files add themselves to the list, each group in a file of its own.
#pragma once

#include <vector>

#include "audio/fx/Builtins.h"

namespace kelvra::audio::fx {

// echo, reverb, flanger, phaser, filter, tremolo, autopan
void addSpaceAndModulationEffects(std::vector<BuiltinEntry>& list);
// Parts of that group with a file each, which addSpaceAndModulationEffects() adds in its order.
void addEchoEffect(std::vector<BuiltinEntry>& list);
void addReverbEffect(std::vector<BuiltinEntry>& list);
void addSweptFilterEffect(std::vector<BuiltinEntry>& list);
// bitcrusher, gate (also "trans"), brake, spinback, compressor, limiter
void addDynamicsAndTurntableEffects(std::vector<BuiltinEntry>& list);

}  // namespace kelvra::audio::fx
