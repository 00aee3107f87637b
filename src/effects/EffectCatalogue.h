// The effects a slot can take, in the order the list shows them: the built-ins, then the LV2
// plugins installed on the machine (looked for the first time the list is wanted beyond the
// built-ins, as loading every plugin's description takes a moment). Thread: UI thread only.
#pragma once

#include <QString>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "audio/fx/Effect.h"
#include "audio/fx/Rack.h"

namespace kelvra::effects {

class EffectCatalogue {
  public:
    // What lists and makes plugins: a list of their descriptions and a maker by id.
    struct Plugins {
        std::function<std::vector<audio::fx::EffectInfo>()> list;
        std::function<std::unique_ptr<audio::fx::Effect>(const std::string& id)> make;
    };
    // `plugins` is asked only when first wanted; none: built-ins only.
    explicit EffectCatalogue(std::function<Plugins()> plugins = {});
    // The LV2 plugins installed on this machine (on LV2_PATH and in the usual folders).
    static Plugins installedPlugins();

    // Every effect, usable or not; the plugins are looked for on the first call. What find()
    // returned stays valid when the plugins are added behind the built-ins.
    const std::deque<audio::fx::EffectInfo>& all();
    // The description of `id` (a built-in name, its other name, or "lv2:" and a URI), or null.
    const audio::fx::EffectInfo* find(const QString& id);
    // One copy per bus of the effect, unprepared; all null with `error` set when it cannot be
    // made.
    std::array<std::unique_ptr<audio::fx::Effect>, audio::fx::kBuses> make(const QString& id,
                                                                           QString& error);

  private:
    void findPlugins();

    std::function<Plugins()> loadPlugins_;
    Plugins plugins_;
    bool pluginsLooked_ = false;
    std::deque<audio::fx::EffectInfo> all_;
    std::size_t builtinCount_ = 0;
};

}  // namespace kelvra::effects
