#include "audio/fx/Lv2Host.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/units/units.h>

#include <array>

namespace kelvra::audio::fx::lv2 {

namespace {

LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<Host*>(handle)->map(uri);
}

const char* unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    return static_cast<Host*>(handle)->unmap(urid);
}

}  // namespace

Host::Host() {
    world_ = lilv_world_new();
    lilv_world_load_all(world_);

    auto uri = [this](const char* text) { return owned_.emplace_back(lilv_new_uri(world_, text)); };
    nodes_ = Nodes{
        .inputPort = uri(LV2_CORE__InputPort),
        .outputPort = uri(LV2_CORE__OutputPort),
        .audioPort = uri(LV2_CORE__AudioPort),
        .controlPort = uri(LV2_CORE__ControlPort),
        .cvPort = uri(LV2_CORE__CVPort),
        .atomPort = uri(LV2_ATOM__AtomPort),
        .connectionOptional = uri(LV2_CORE__connectionOptional),
        .integer = uri(LV2_CORE__integer),
        .toggled = uri(LV2_CORE__toggled),
        .logarithmic = uri(LV2_PORT_PROPS__logarithmic),
        .sampleRate = uri(LV2_CORE__sampleRate),
        .designation = uri(LV2_CORE__designation),
        .enabled = uri(LV2_CORE__enabled),
        .freeWheeling = uri(LV2_CORE__freeWheeling),
        .beatsPerMinute = uri(LV2_TIME__beatsPerMinute),
        .left = uri(LV2_PORT_GROUPS__left),
        .right = uri(LV2_PORT_GROUPS__right),
        .unit = uri(LV2_UNITS__unit),
        .unitSymbol = uri(LV2_UNITS__symbol),
        .minimumSize = uri(LV2_RESIZE_PORT__minimumSize),
        .stateState = uri(LV2_STATE__state),
        .rdfType = uri(LILV_NS_RDF "type"),
        .subClassOf = uri(LILV_NS_RDFS "subClassOf"),
        .instrument = uri(LV2_CORE__InstrumentPlugin),
        .generator = uri(LV2_CORE__GeneratorPlugin),
        .reverb = uri(LV2_CORE__ReverbPlugin),
        .delay = uri(LV2_CORE__DelayPlugin),
    };

    uridMap_ = {this, &mapUri};
    uridUnmap_ = {this, &unmapUrid};
    mapFeature_ = {LV2_URID__map, &uridMap_};
    unmapFeature_ = {LV2_URID__unmap, &uridUnmap_};
    // Kelvra never runs a plugin for more frames than it said when preparing it.
    boundedBlockFeature_ = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    // The effect restores a plugin's default state (state:state) right after instantiating it.
    defaultStateFeature_ = {LV2_STATE__loadDefaultState, nullptr};
}

Host::~Host() {
    for (LilvNode* node : owned_)
        lilv_node_free(node);
    lilv_world_free(world_);
}

LV2_URID Host::map(const char* uri) {
    if (!uri) return 0;
    std::lock_guard guard(uridMutex_);
    auto [at, added] = urids_.try_emplace(uri, LV2_URID(uris_.size() + 1));
    if (added) uris_.emplace_back(uri);
    return at->second;
}

const char* Host::unmap(LV2_URID urid) {
    std::lock_guard guard(uridMutex_);
    if (urid == 0 || urid > uris_.size()) return nullptr;
    return uris_[urid - 1].c_str();
}

bool Host::offers(const std::string& featureUri) {
    // The last three are promises about the plugin rather than things handed to it: Kelvra
    // keeps them all (it runs on a real-time thread, never processes in place, and runs live).
    static constexpr std::array offered = {
        LV2_URID__map,
        LV2_URID__unmap,
        LV2_OPTIONS__options,
        LV2_BUF_SIZE__boundedBlockLength,
        LV2_STATE__loadDefaultState,
        LV2_CORE__hardRTCapable,
        LV2_CORE__inPlaceBroken,
        LV2_CORE__isLive,
    };
    for (const char* uri : offered)
        if (featureUri == uri) return true;
    return false;
}

std::string text(const LilvNode* node) {
    if (!node) return {};
    const char* value = lilv_node_as_string(node);
    return value ? std::string(value) : std::string();
}

}  // namespace kelvra::audio::fx::lv2
