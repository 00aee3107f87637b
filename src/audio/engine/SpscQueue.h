// How commands, decoded blocks and retired objects cross between the engine's threads without
// locks: the program's one single-producer single-consumer ring (core/SpscRing.h), by the name
// the engine has always used for it.
// Threads: push() from exactly one thread, pop()/front() from exactly one other thread.
#pragma once

#include "core/SpscRing.h"

namespace kelvra::audio::engine {

template <typename T>
using SpscQueue = SpscRing<T>;

}  // namespace kelvra::audio::engine
