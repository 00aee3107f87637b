#include "audio/fx/Lv2Effect.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/fx/Lv2Host.h"

namespace kelvra::audio::fx {

using lv2::PortPlan;
using lv2::PortRole;

namespace {

// Long enough that a gain or cutoff jump does not click, short enough to feel immediate.
constexpr double kGlideSeconds = 0.02;
// The slice a glide moves in: the control steps every 64 frames (under 1.5 ms at 44.1 kHz).
constexpr int kGlideSlice = 64;

}  // namespace

Lv2Effect::Lv2Effect(std::shared_ptr<lv2::Host> host, std::shared_ptr<const lv2::PluginPlan> plan)
    : host_(std::move(host)), plan_(std::move(plan)) {
    const EffectInfo& info = plan_->info;
    paramPorts_.assign(info.params.size(), -1);
    glides_.resize(info.params.size());
    for (std::size_t port = 0; port < plan_->ports.size(); ++port) {
        const PortPlan& p = plan_->ports[port];
        if (p.role != PortRole::ControlIn) continue;
        if (p.param >= 0) paramPorts_[std::size_t(p.param)] = int(port);
        if (p.tempo) tempoPorts_.push_back(std::uint32_t(port));
    }
    for (std::size_t i = 0; i < glides_.size(); ++i)
        glides_[i].current = glides_[i].target = info.params[i].value;
}

Lv2Effect::~Lv2Effect() {
    auto lock = host_->lock();
    releaseLocked();
}

const EffectInfo& Lv2Effect::info() const {
    return plan_->info;
}

void Lv2Effect::releaseLocked() {
    for (Instance& instance : instances_) {
        if (instance.active) lilv_instance_deactivate(instance.handle);
        lilv_instance_free(instance.handle);
    }
    instances_.clear();
}

void Lv2Effect::prepare(int rate, int maxFrames) {
    auto lock = host_->lock();
    releaseLocked();
    error_.clear();
    rate_ = std::max(1, rate);
    maxFrames_ = std::max(1, maxFrames);
    for (Glide& glide : glides_)
        glide = {glide.target, glide.target, 0, 0};
    gliding_ = 0;

    lv2::Host& host = *host_;
    sequenceType_ = host.map(LV2_ATOM__Sequence);
    chunkType_ = host.map(LV2_ATOM__Chunk);
    maxBlock_ = nominalBlock_ = maxFrames_;
    sampleRate_ = float(rate_);
    const LV2_URID intType = host.map(LV2_ATOM__Int), floatType = host.map(LV2_ATOM__Float);
    options_ = {{
        {LV2_OPTIONS_INSTANCE, 0, host.map(LV2_BUF_SIZE__maxBlockLength), sizeof(maxBlock_),
         intType, &maxBlock_},
        {LV2_OPTIONS_INSTANCE, 0, host.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(nominalBlock_),
         intType, &nominalBlock_},
        {LV2_OPTIONS_INSTANCE, 0, host.map(LV2_PARAMETERS__sampleRate), sizeof(sampleRate_),
         floatType, &sampleRate_},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    }};
    optionsFeature_ = {LV2_OPTIONS__options, options_.data()};
    features_ = {host.mapFeature(),          host.unmapFeature(), host.boundedBlockFeature(),
                 host.defaultStateFeature(), &optionsFeature_,    nullptr};

    const std::size_t frames = std::size_t(maxFrames_);
    audio_.assign(4 * frames, 0.0f);
    float* in[2] = {audio_.data(), audio_.data() + frames};
    float* out[2] = {audio_.data() + 2 * frames, audio_.data() + 3 * frames};

    const int count = plan_->mono ? 2 : 1;
    instances_.reserve(std::size_t(count));
    for (int side = 0; side < count; ++side) {
        LilvInstance* handle = lilv_plugin_instantiate(plan_->plugin, rate_, features_.data());
        if (!handle) {
            error_ = plan_->info.name + " could not be loaded";
            releaseLocked();
            return;
        }
        Instance& instance = instances_.emplace_back();
        instance.handle = handle;
        instance.controls.assign(plan_->ports.size(), 0.0f);
        for (std::size_t port = 0; port < plan_->ports.size(); ++port) {
            const PortPlan& p = plan_->ports[port];
            void* where = nullptr;
            switch (p.role) {
                case PortRole::AudioIn:
                    where = in[plan_->mono ? side : p.channel];
                    break;
                case PortRole::AudioOut:
                    where = out[plan_->mono ? side : p.channel];
                    break;
                case PortRole::ControlIn:
                    instance.controls[port] =
                        p.param >= 0 ? glides_[std::size_t(p.param)].current : p.fixedValue;
                    where = &instance.controls[port];
                    break;
                case PortRole::ControlOut:
                    where = &instance.controls[port];
                    break;
                case PortRole::AtomIn:
                case PortRole::AtomOut: {
                    AtomBuffer& atom = instance.atoms.emplace_back();
                    atom.data.assign((p.atomBytes + 7) / 8, 0);
                    atom.input = p.role == PortRole::AtomIn;
                    where = atom.data.data();
                    break;
                }
                case PortRole::Unconnected:
                    break;
            }
            lilv_instance_connect_port(handle, std::uint32_t(port), where);
        }
        emptyAtoms(instance);
    }
    loadDefaultStateLocked();
    for (Instance& instance : instances_) {
        lilv_instance_activate(instance.handle);
        instance.active = true;
    }
}

void Lv2Effect::loadDefaultStateLocked() {
    LilvWorld* world = host_->world();
    LilvNode* node = lilv_world_get(world, lilv_plugin_get_uri(plan_->plugin),
                                    host_->nodes().stateState, nullptr);
    if (!node) return;
    if (LilvState* state = lilv_state_new_from_world(world, host_->uridMap(), node)) {
        for (Instance& instance : instances_)
            lilv_state_restore(state, instance.handle, &setPortValue, this, 0, features_.data());
        lilv_state_free(state);
    }
    lilv_node_free(node);
}

// A port value from the default state: it becomes the parameter's value as if set.
void Lv2Effect::setPortValue(const char* symbol, void* self, const void* value, std::uint32_t size,
                             std::uint32_t type) {
    auto& effect = *static_cast<Lv2Effect*>(self);
    lv2::Host& host = *effect.host_;
    float number;
    if (type == host.map(LV2_ATOM__Float) && size == sizeof(float))
        std::memcpy(&number, value, sizeof number);
    else if (type == host.map(LV2_ATOM__Double) && size == sizeof(double))
        number = float(*static_cast<const double*>(value));
    else if ((type == host.map(LV2_ATOM__Int) || type == host.map(LV2_ATOM__Bool)) &&
             size == sizeof(std::int32_t))
        number = float(*static_cast<const std::int32_t*>(value));
    else
        return;
    const auto& ports = effect.plan_->ports;
    for (const PortPlan& p : ports) {
        if (p.symbol != symbol || p.param < 0) continue;
        const ParamInfo& param = effect.info().params[std::size_t(p.param)];
        if (!std::isfinite(number)) return;
        number = std::clamp(number, param.min, param.max);
        effect.glides_[std::size_t(p.param)] = {number, number, 0, 0};
        effect.writeParam(p.param, number);
    }
}

void Lv2Effect::writeParam(int index, float value) {
    const int port = paramPorts_[std::size_t(index)];
    for (Instance& instance : instances_)
        instance.controls[std::size_t(port)] = value;
}

void Lv2Effect::setParam(int index, float value) {
    if (index < 0 || std::size_t(index) >= glides_.size() || !std::isfinite(value)) return;
    const ParamInfo& param = info().params[std::size_t(index)];
    value = std::clamp(value, param.min, param.max);
    Glide& glide = glides_[std::size_t(index)];
    const int frames = int(std::lrint(kGlideSeconds * rate_));
    if (param.kind != ParamInfo::Kind::Continuous || frames <= 0 || !ready()) {
        if (glide.left > 0) --gliding_;
        glide = {value, value, 0, 0};
        writeParam(index, value);
        return;
    }
    if (glide.left == 0) ++gliding_;
    glide.target = value;
    glide.left = frames;
    glide.step = (value - glide.current) / float(frames);
}

void Lv2Effect::advanceGlides(int frames) {
    for (std::size_t i = 0; i < glides_.size(); ++i) {
        Glide& glide = glides_[i];
        if (glide.left == 0) continue;
        if (glide.left <= frames) {
            glide.current = glide.target;
            glide.left = 0;
            --gliding_;
        } else {
            glide.current += glide.step * float(frames);
            glide.left -= frames;
        }
        writeParam(int(i), glide.current);
    }
}

void Lv2Effect::emptyAtoms(Instance& instance) {
    for (AtomBuffer& buffer : instance.atoms) {
        if (buffer.input) {
            auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(buffer.data.data());
            sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
            sequence->atom.type = sequenceType_;
            sequence->body.unit = 0;
            sequence->body.pad = 0;
        } else {
            // An output is handed over as an empty chunk of its whole capacity.
            auto* atom = reinterpret_cast<LV2_Atom*>(buffer.data.data());
            atom->size =
                std::uint32_t(buffer.data.size() * sizeof(std::uint64_t) - sizeof(LV2_Atom));
            atom->type = chunkType_;
        }
    }
}

void Lv2Effect::process(float* stereo, int frames, const ProcessContext& context) {
    if (!ready()) return;
    if (!tempoPorts_.empty()) {
        const float bpm = context.beatSeconds > 0 ? float(60 / context.beatSeconds) : 120.0f;
        for (Instance& instance : instances_)
            for (std::uint32_t port : tempoPorts_)
                instance.controls[port] = bpm;
    }
    const std::size_t stride = std::size_t(maxFrames_);
    float* inLeft = audio_.data();
    float* inRight = inLeft + stride;
    const float* outLeft = inLeft + 2 * stride;
    const float* outRight = inLeft + 3 * stride;
    for (int done = 0; done < frames;) {
        int slice = std::min(frames - done, maxFrames_);
        if (gliding_ > 0) {
            slice = std::min(slice, kGlideSlice);
            advanceGlides(slice);
        }
        float* at = stereo + 2 * std::size_t(done);
        for (int i = 0; i < slice; ++i) {
            inLeft[i] = at[2 * i];
            inRight[i] = at[2 * i + 1];
        }
        for (Instance& instance : instances_) {
            emptyAtoms(instance);
            lilv_instance_run(instance.handle, std::uint32_t(slice));
        }
        for (int i = 0; i < slice; ++i) {
            at[2 * i] = outLeft[i];
            at[2 * i + 1] = outRight[i];
        }
        done += slice;
    }
}

void Lv2Effect::reset() {
    std::fill(audio_.begin(), audio_.end(), 0.0f);
    for (std::size_t i = 0; i < glides_.size(); ++i) {
        if (glides_[i].left == 0) continue;
        glides_[i] = {glides_[i].target, glides_[i].target, 0, 0};
        writeParam(int(i), glides_[i].target);
    }
    gliding_ = 0;
}

}  // namespace kelvra::audio::fx
