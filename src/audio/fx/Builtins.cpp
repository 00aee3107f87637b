#include "audio/fx/Builtins.h"

#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {

const std::vector<BuiltinEntry>& builtins() {
    static const std::vector<BuiltinEntry> list = [] {
        std::vector<BuiltinEntry> all;
        addSpaceAndModulationEffects(all);
        addDynamicsAndTurntableEffects(all);
        return all;
    }();
    return list;
}

std::unique_ptr<Effect> makeBuiltin(std::string_view id) {
    if (id == "trans") id = "gate";
    for (const BuiltinEntry& entry : builtins())
        if (entry.info.id == id) return entry.make();
    return nullptr;
}

}  // namespace kelvra::audio::fx
