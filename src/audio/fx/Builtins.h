// The effects Kelvra brings along, listed in the order the effect list shows them and made by
// their id ("echo", "reverb" …). Threads: any; what they make belongs to the caller.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "audio/fx/Effect.h"

namespace kelvra::audio::fx {

struct BuiltinEntry {
    EffectInfo info;
    std::function<std::unique_ptr<Effect>()> make;
};

const std::vector<BuiltinEntry>& builtins();
// The built-in of this id (or one of its other names, such as "trans" for the gate), or null.
std::unique_ptr<Effect> makeBuiltin(std::string_view id);

}  // namespace kelvra::audio::fx
