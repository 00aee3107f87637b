// The LV2 world that the plugin catalog and every plugin effect made from it share: lilv's loaded
// bundles, the nodes Kelvra asks about, the URID map and the host features Kelvra offers, plus
// the port plan worked out for each plugin when it is listed.
// Threads: the controlling thread or a worker, never the audio thread. lilv's world is not
// thread-safe and loads plugin data lazily, so every use of world() happens under lock(). The
// URID map has its own lock, since plugins call it from inside instantiation.
#pragma once

#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/fx/Effect.h"

namespace kelvra::audio::fx::lv2 {

// What Kelvra connects a plugin port to.
enum class PortRole {
    AudioIn,
    AudioOut,
    ControlIn,   // a parameter, or a value Kelvra sets itself (see PortPlan)
    ControlOut,  // a dummy the plugin may write
    AtomIn,      // an empty event sequence each period
    AtomOut,     // a buffer of its own, emptied each period
    Unconnected  // an optional port of a kind Kelvra does not feed
};

struct PortPlan {
    PortRole role = PortRole::Unconnected;
    std::string symbol;
    int channel = 0;            // audio: the bus channel, 0 left and 1 right
    int param = -1;             // control inputs: the index in EffectInfo::params, or -1 when fixed
    float fixedValue = 0;       // control inputs that are no parameter (enabled, free-wheeling)
    bool tempo = false;         // control input fed with the bus's tempo in beats per minute
    std::size_t atomBytes = 0;  // atom ports: the buffer size, header included
};

// Everything Kelvra decided about one plugin when listing it.
struct PluginPlan {
    const LilvPlugin* plugin = nullptr;
    EffectInfo info;
    std::vector<PortPlan> ports;  // by port index
    bool mono = false;            // one audio channel each way: run as two instances
};

class Host {
  public:
    Host();  // loads every bundle on LV2_PATH (or the usual folders)
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    std::unique_lock<std::mutex> lock() const { return std::unique_lock(worldMutex_); }
    LilvWorld* world() const { return world_; }

    // The URIs Kelvra asks lilv about, made once.
    struct Nodes {
        LilvNode *inputPort, *outputPort, *audioPort, *controlPort, *cvPort, *atomPort;
        LilvNode *connectionOptional, *integer, *toggled, *logarithmic, *sampleRate;
        LilvNode *designation, *enabled, *freeWheeling, *beatsPerMinute, *left, *right;
        LilvNode *unit, *unitSymbol, *minimumSize, *stateState, *rdfType, *subClassOf;
        LilvNode *instrument, *generator, *reverb, *delay;
    };
    const Nodes& nodes() const { return nodes_; }

    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);
    // The host features every instance gets (map, unmap, bounded block length, default state
    // loading). Options depend on the instance's rate and period, so each effect adds its own.
    const LV2_Feature* mapFeature() const { return &mapFeature_; }
    const LV2_Feature* unmapFeature() const { return &unmapFeature_; }
    const LV2_Feature* boundedBlockFeature() const { return &boundedBlockFeature_; }
    const LV2_Feature* defaultStateFeature() const { return &defaultStateFeature_; }
    LV2_URID_Map* uridMap() { return &uridMap_; }

    // Whether Kelvra offers the host feature a plugin requires by this URI.
    static bool offers(const std::string& featureUri);

  private:
    LilvWorld* world_ = nullptr;
    mutable std::mutex worldMutex_;
    Nodes nodes_{};
    std::vector<LilvNode*> owned_;

    std::mutex uridMutex_;
    std::unordered_map<std::string, LV2_URID> urids_;
    std::deque<std::string> uris_;  // by URID - 1; a deque keeps each string where it is
    LV2_URID_Map uridMap_{};
    LV2_URID_Unmap uridUnmap_{};
    LV2_Feature mapFeature_{}, unmapFeature_{}, boundedBlockFeature_{}, defaultStateFeature_{};
};

// The text of a node, or empty for none.
std::string text(const LilvNode* node);

// Works out whether Kelvra can run `plugin` and how to connect it. Called with the world locked.
PluginPlan planPlugin(const Host& host, const LilvPlugin* plugin);

}  // namespace kelvra::audio::fx::lv2
