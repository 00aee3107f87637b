#include "audio/fx/Lv2Plugins.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "audio/fx/Lv2Effect.h"
#include "audio/fx/Lv2Host.h"

namespace kelvra::audio::fx {

namespace lv2 {
namespace {

// Ranges of ports given in fractions of the sample rate are listed in Hz at this rate; the
// values set stay in Hz whatever rate the effect then runs at.
constexpr float kListingRate = 48000;
// What an atom port gets when it does not say how much it needs.
constexpr std::size_t kAtomBytes = 8192;

struct Classes {
    bool instrument = false, generator = false, tail = false;
};

// Walks the plugin's types and all their parents: a reverb is a delay and a simulator, an
// oscillator a generator, and plugins name only the most specific class.
Classes classify(const Host& host, const LilvPlugin* plugin) {
    const Host::Nodes& n = host.nodes();
    std::vector<LilvNode*> pending, seen;
    auto add = [&](LilvNodes* found) {
        LILV_FOREACH(nodes, i, found) {
            const LilvNode* node = lilv_nodes_get(found, i);
            auto same = [&](const LilvNode* other) { return lilv_node_equals(node, other); };
            if (std::none_of(seen.begin(), seen.end(), same) &&
                std::none_of(pending.begin(), pending.end(), same))
                pending.push_back(lilv_node_duplicate(node));
        }
        lilv_nodes_free(found);
    };
    add(lilv_plugin_get_value(plugin, n.rdfType));
    Classes classes;
    // A bound against a class graph that loops.
    while (!pending.empty() && seen.size() < 64) {
        LilvNode* type = pending.back();
        pending.pop_back();
        seen.push_back(type);
        classes.instrument |= lilv_node_equals(type, n.instrument);
        classes.generator |= lilv_node_equals(type, n.generator);
        classes.tail |= lilv_node_equals(type, n.reverb) || lilv_node_equals(type, n.delay);
        add(lilv_world_find_nodes(host.world(), type, n.subClassOf, nullptr));
    }
    for (LilvNode* node : seen)
        lilv_node_free(node);
    for (LilvNode* node : pending)
        lilv_node_free(node);
    return classes;
}

// The units ontology gives each unit its symbol; these stand in where it is not installed.
std::string unitSymbol(const Host& host, const LilvPlugin* plugin, const LilvPort* port) {
    LilvNode* unit = lilv_port_get(plugin, port, host.nodes().unit);
    if (!unit) return {};
    LilvNode* symbol = lilv_world_get(host.world(), unit, host.nodes().unitSymbol, nullptr);
    std::string result = text(symbol);
    if (symbol == nullptr && lilv_node_is_uri(unit)) {
        const std::string uri = text(unit);
        const std::string_view name = std::string_view(uri).substr(uri.rfind('#') + 1);
        static constexpr std::pair<std::string_view, std::string_view> known[] = {
            {"db", "dB"},   {"hz", "Hz"},
            {"khz", "kHz"}, {"ms", "ms"},
            {"s", "s"},     {"pc", "%"},
            {"bpm", "BPM"}, {"beat", "beats"},
            {"cent", "ct"}, {"semitone12TET", "semi"},
            {"oct", "oct"}, {"frame", "frames"}};
        for (const auto& [key, shown] : known)
            if (name == key) result = shown;
    }
    lilv_node_free(symbol);
    lilv_node_free(unit);
    return result;
}

ParamInfo describeControl(const Host& host, const LilvPlugin* plugin, const LilvPort* port) {
    const Host::Nodes& n = host.nodes();
    ParamInfo param;
    param.symbol = text(lilv_port_get_symbol(plugin, port));
    LilvNode* name = lilv_port_get_name(plugin, port);
    param.name = name ? text(name) : param.symbol;
    lilv_node_free(name);
    param.unit = unitSymbol(host, plugin, port);

    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    float lo = min ? lilv_node_as_float(min) : 0.0f;
    float hi = max ? lilv_node_as_float(max) : std::max(1.0f, lo + 1);
    float value = def ? lilv_node_as_float(def) : lo;
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    if (lilv_port_has_property(plugin, port, n.sampleRate)) {
        lo *= kListingRate;
        hi *= kListingRate;
        value *= kListingRate;
    }
    if (!std::isfinite(lo)) lo = 0;
    if (!std::isfinite(hi) || hi <= lo) hi = lo + 1;
    if (!std::isfinite(value)) value = lo;

    if (lilv_port_has_property(plugin, port, n.toggled)) {
        param.kind = ParamInfo::Kind::Toggle;
        lo = 0;
        hi = 1;
        value = value >= 0.5f ? 1.0f : 0.0f;
    } else if (lilv_port_has_property(plugin, port, n.integer)) {
        param.kind = ParamInfo::Kind::Integer;
    }
    param.min = lo;
    param.max = hi;
    param.value = std::clamp(value, lo, hi);
    // A knob moving in ratio needs a range that stays above zero.
    param.logarithmic = lilv_port_has_property(plugin, port, n.logarithmic) && lo > 0;
    return param;
}

// Of a plugin's audio ports one way, the ones Kelvra connects: all of them, or the required
// ones where the optional ones (a side chain) would make too many.
std::vector<uint32_t> pickAudio(const std::vector<std::pair<uint32_t, bool>>& ports) {
    std::vector<uint32_t> all, required;
    for (const auto& [index, optional] : ports) {
        all.push_back(index);
        if (!optional) required.push_back(index);
    }
    if (all.size() > 2 && !required.empty() && required.size() <= 2) return required;
    return all;
}

std::string audioProblem(std::size_t ins, std::size_t outs) {
    auto count = [](std::size_t n, const char* what) {
        return std::to_string(n) + " audio " + what + (n == 1 ? "" : "s");
    };
    if (ins == 0) return "has no audio input";
    if (outs == 0) return "has no audio output";
    if (ins > 2) return "has " + count(ins, "input");
    if (outs > 2) return "has " + count(outs, "output");
    if (ins != outs) return "has " + count(ins, "input") + " and " + count(outs, "output");
    return {};
}

}  // namespace

PluginPlan planPlugin(const Host& host, const LilvPlugin* plugin) {
    const Host::Nodes& n = host.nodes();
    PluginPlan plan;
    plan.plugin = plugin;
    EffectInfo& info = plan.info;
    info.id = "lv2:" + text(lilv_plugin_get_uri(plugin));
    LilvNode* name = lilv_plugin_get_name(plugin);
    info.name = name ? text(name) : info.id.substr(4);
    lilv_node_free(name);
    const Classes classes = classify(host, plugin);
    info.tail = classes.tail;

    std::string featureProblem;
    LilvNodes* features = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH(nodes, i, features) {
        const std::string uri = text(lilv_nodes_get(features, i));
        if (featureProblem.empty() && !Host::offers(uri))
            featureProblem = "needs the host feature " + uri;
    }
    lilv_nodes_free(features);

    std::string portProblem;
    std::vector<std::pair<uint32_t, bool>> audioIns, audioOuts;
    plan.ports.resize(lilv_plugin_get_num_ports(plugin));
    for (uint32_t index = 0; index < plan.ports.size(); ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        PortPlan& p = plan.ports[index];
        p.symbol = text(lilv_port_get_symbol(plugin, port));
        const bool input = lilv_port_is_a(plugin, port, n.inputPort);
        const bool output = lilv_port_is_a(plugin, port, n.outputPort);
        const bool optional = lilv_port_has_property(plugin, port, n.connectionOptional);
        if (input == output) {
            if (!optional && portProblem.empty())
                portProblem = "has a port that is neither input nor output (" + p.symbol + ")";
        } else if (lilv_port_is_a(plugin, port, n.audioPort)) {
            (input ? audioIns : audioOuts).emplace_back(index, optional);
        } else if (lilv_port_is_a(plugin, port, n.controlPort)) {
            p.role = input ? PortRole::ControlIn : PortRole::ControlOut;
            if (!input) continue;
            LilvNode* designation = lilv_port_get(plugin, port, n.designation);
            if (designation && lilv_node_equals(designation, n.enabled)) {
                p.fixedValue = 1;
            } else if (designation && lilv_node_equals(designation, n.freeWheeling)) {
                p.fixedValue = 0;
            } else if (designation && lilv_node_equals(designation, n.beatsPerMinute)) {
                p.tempo = true;
                p.fixedValue = 120;
            } else {
                p.param = int(info.params.size());
                info.params.push_back(describeControl(host, plugin, port));
            }
            lilv_node_free(designation);
        } else if (lilv_port_is_a(plugin, port, n.atomPort)) {
            p.role = input ? PortRole::AtomIn : PortRole::AtomOut;
            p.atomBytes = kAtomBytes;
            if (LilvNode* size = lilv_port_get(plugin, port, n.minimumSize)) {
                p.atomBytes = std::max<std::size_t>(
                    kAtomBytes, std::size_t(std::max(0, lilv_node_as_int(size))));
                lilv_node_free(size);
            }
        } else if (!optional && portProblem.empty()) {
            portProblem = lilv_port_is_a(plugin, port, n.cvPort)
                              ? "has a CV port (" + p.symbol + ")"
                              : "has a port of a kind Kelvra cannot connect (" + p.symbol + ")";
        }
    }

    const std::vector<uint32_t> ins = pickAudio(audioIns), outs = pickAudio(audioOuts);
    std::string channelProblem = audioProblem(ins.size(), outs.size());
    if (channelProblem.empty()) {
        plan.mono = ins.size() == 1;
        for (const std::vector<uint32_t>* side : {&ins, &outs}) {
            // Two channels go left then right, by their groups' designations where given.
            bool swap = false;
            if (side->size() == 2) {
                LilvNode* first = lilv_port_get(
                    plugin, lilv_plugin_get_port_by_index(plugin, (*side)[0]), n.designation);
                swap = first && lilv_node_equals(first, n.right);
                lilv_node_free(first);
            }
            for (std::size_t c = 0; c < side->size(); ++c) {
                PortPlan& p = plan.ports[(*side)[c]];
                p.role = side == &ins ? PortRole::AudioIn : PortRole::AudioOut;
                p.channel = swap ? 1 - int(c) : int(c);
            }
        }
    }

    std::string libraryProblem;
    const LilvNode* library = lilv_plugin_get_library_uri(plugin);
    char* path = library ? lilv_file_uri_parse(lilv_node_as_uri(library), nullptr) : nullptr;
    std::error_code error;
    if (!path || !std::filesystem::exists(path, error))
        libraryProblem = "has lost its library" + (path ? " (" + std::string(path) + ")" : "");
    lilv_free(path);

    // The first reason found is the one shown: what the plugin is, then what it needs.
    std::string what = classes.instrument  ? "is an instrument"
                       : classes.generator ? "is a generator"
                                           : "";
    for (const std::string* problem :
         {&what, &featureProblem, &portProblem, &channelProblem, &libraryProblem}) {
        if (!problem->empty()) {
            info.usable = false;
            info.whyNotUsable = *problem;
            break;
        }
    }
    for (std::size_t i = 0; i < info.params.size() && info.superParam < 0; ++i)
        if (info.params[i].kind == ParamInfo::Kind::Continuous) info.superParam = int(i);
    return plan;
}

}  // namespace lv2

Lv2Plugins::Lv2Plugins() : host_(std::make_shared<lv2::Host>()) {
    auto lock = host_->lock();
    const LilvPlugins* all = lilv_world_get_all_plugins(host_->world());
    LILV_FOREACH(plugins, i, all)
    plans_.push_back(
        std::make_shared<const lv2::PluginPlan>(lv2::planPlugin(*host_, lilv_plugins_get(all, i))));
    std::stable_sort(plans_.begin(), plans_.end(), [](const auto& a, const auto& b) {
        return std::tie(a->info.name, a->info.id) < std::tie(b->info.name, b->info.id);
    });
    for (const auto& plan : plans_)
        effects_.push_back(plan->info);
}

Lv2Plugins::~Lv2Plugins() = default;

const EffectInfo* Lv2Plugins::find(std::string_view id) const {
    for (const EffectInfo& info : effects_)
        if (info.id == id) return &info;
    return nullptr;
}

std::unique_ptr<Effect> Lv2Plugins::make(std::string_view id, std::string* why) const {
    for (const auto& plan : plans_) {
        if (plan->info.id != id) continue;
        if (!plan->info.usable) {
            if (why) *why = plan->info.name + " " + plan->info.whyNotUsable;
            return nullptr;
        }
        return std::make_unique<Lv2Effect>(host_, plan);
    }
    if (why) *why = "no LV2 plugin has the id " + std::string(id);
    return nullptr;
}

}  // namespace kelvra::audio::fx
