// The LV2 plugins installed on this machine, listed as effects: each with its parameters (its
// input control ports) and, where Kelvra cannot run it, the reason in words. Kelvra runs audio
// effects with one channel each way (as two instances, one per side of the stereo bus) or two.
// Threads: the controlling thread or a worker, never the audio thread. The world is loaded once,
// when the catalog is made, and lives on in every effect made from it, so the catalog may go
// before its effects do.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/fx/Effect.h"

namespace kelvra::audio::fx {

namespace lv2 {
class Host;
struct PluginPlan;
}  // namespace lv2

class Lv2Plugins {
  public:
    // Loads every bundle on LV2_PATH, or in the usual folders when it is not set.
    Lv2Plugins();
    ~Lv2Plugins();
    Lv2Plugins(const Lv2Plugins&) = delete;
    Lv2Plugins& operator=(const Lv2Plugins&) = delete;

    // Every plugin found, usable or not, by name. Ids are "lv2:" and the plugin's URI.
    const std::vector<EffectInfo>& effects() const { return effects_; }
    const EffectInfo* find(std::string_view id) const;

    // An unprepared effect for a usable plugin; otherwise null, with the reason in `why`.
    std::unique_ptr<Effect> make(std::string_view id, std::string* why = nullptr) const;

  private:
    std::shared_ptr<lv2::Host> host_;
    std::vector<std::shared_ptr<const lv2::PluginPlan>> plans_;  // in the order of effects_
    std::vector<EffectInfo> effects_;
};

}  // namespace kelvra::audio::fx
