#include "audio/fx/Rack.h"

#include <algorithm>
#include <cmath>

#include "audio/engine/Ramp.h"

namespace kelvra::audio::fx {

namespace {

using engine::approach;

// A stage's own sound below this (-100 dBFS) for kQuietSeconds has rung out.
constexpr float kQuietFloor = 1e-5f;
constexpr double kQuietSeconds = 0.2;
constexpr double kGlideSeconds = 0.01;

std::size_t index(int unit, int slot) {
    return std::size_t(unit * kSlots + slot);
}

}  // namespace

Rack::Rack(int maxFrames)
    : maxFrames_(maxFrames),
      installs_(256),
      retired_(256),
      unitDry_(std::size_t(maxFrames) * 2),
      unitFed_(std::size_t(maxFrames) * 2),
      slotDry_(std::size_t(maxFrames) * 2),
      slotFed_(std::size_t(maxFrames) * 2) {
    for (auto& beat : beatSeconds_)
        beat.store(0.5, std::memory_order_relaxed);
    prepare(rate_);
}

Rack::~Rack() {
    // No consumer runs: what is in the slots, on its way to them or on its way back is ours.
    Install install;
    while (installs_.pop(install))
        delete install.load;
    collect();
    for (UnitState& unit : units_)
        for (SlotState& slot : unit.slotStates) {
            delete slot.load;
            delete slot.waiting;
        }
}

void Rack::prepare(int rate) {
    rate_ = std::max(rate, 1);
    step_ = float(1.0 / (kGlideSeconds * rate_));
    quietLimit_ = int(std::lrint(kQuietSeconds * rate_));
    for (UnitState& unit : units_)
        for (SlotState& slot : unit.slotStates) {
            if (slot.load) prepareLoad(*slot.load);
            if (slot.waiting) prepareLoad(*slot.waiting);
        }
}

void Rack::prepareLoad(SlotLoad& load) const {
    for (auto& copy : load.copies)
        if (copy) {
            copy->prepare(rate_, maxFrames_);
            for (int i = 0; i < load.paramCount; ++i)
                copy->setParam(i, load.values[std::size_t(i)].load(std::memory_order_relaxed));
        }
}

bool Rack::load(int unit, int slot, std::array<std::unique_ptr<Effect>, kBuses> copies) {
    if (unit < 0 || unit >= kUnits || slot < 0 || slot >= kSlots) return false;
    collect();
    SlotLoad* load = nullptr;
    if (copies[0]) {
        auto made = std::make_unique<SlotLoad>();
        const EffectInfo& info = copies[0]->info();
        made->paramCount = std::min<int>(int(info.params.size()), kMaxParams);
        made->tail = info.tail;
        for (int i = 0; i < made->paramCount; ++i)
            made->values[std::size_t(i)].store(info.params[std::size_t(i)].value,
                                               std::memory_order_relaxed);
        made->copies = std::move(copies);
        prepareLoad(*made);
        load = made.release();
    }
    if (!installs_.push({unit, slot, load})) {
        delete load;
        return false;
    }
    // The newest load is the one the controlling thread sets parameters on. The consumer lets a
    // load go only after a newer one was sent, so this pointer never dangles.
    newest_[index(unit, slot)] = load;
    return true;
}

void Rack::setParam(int unit, int slot, int param, float value) {
    if (unit < 0 || unit >= kUnits || slot < 0 || slot >= kSlots) return;
    SlotLoad* load = newest_[index(unit, slot)];
    if (!load || param < 0 || param >= load->paramCount) return;
    const ParamInfo& info = load->copies[0]->info().params[std::size_t(param)];
    if (!std::isfinite(value)) return;
    value = std::clamp(value, info.min, info.max);
    if (info.kind == ParamInfo::Kind::Integer || info.kind == ParamInfo::Kind::Toggle)
        value = std::nearbyint(value);
    load->values[std::size_t(param)].store(value, std::memory_order_relaxed);
    load->version.fetch_add(1, std::memory_order_release);
}

void Rack::setUnitOn(int unit, bool on) {
    if (unit >= 0 && unit < kUnits) controls_[std::size_t(unit)].on.store(on);
}

void Rack::setMix(int unit, float wet) {
    if (unit >= 0 && unit < kUnits && std::isfinite(wet))
        controls_[std::size_t(unit)].mix.store(std::clamp(wet, 0.0f, 1.0f));
}

void Rack::setAssigned(int unit, Bus bus, bool on) {
    if (unit >= 0 && unit < kUnits)
        controls_[std::size_t(unit)].assigned[std::size_t(bus)].store(on);
}

void Rack::setSlotOn(int unit, int slot, bool on) {
    if (unit >= 0 && unit < kUnits && slot >= 0 && slot < kSlots)
        controls_[std::size_t(unit)].slotOn[std::size_t(slot)].store(on);
}

void Rack::setCutTails(int unit, bool cut) {
    if (unit >= 0 && unit < kUnits) controls_[std::size_t(unit)].cutTails.store(cut);
}

void Rack::setBeatSeconds(Bus bus, double seconds) {
    if (!(seconds > 0.01 && seconds < 60)) seconds = 0.5;
    beatSeconds_[std::size_t(bus)].store(seconds, std::memory_order_relaxed);
}

void Rack::collect() {
    SlotLoad* load = nullptr;
    while (retired_.pop(load))
        delete load;
}

// ---- consumer

void Rack::swapWaiting(SlotState& slot) {
    if (slot.load) retired_.push(slot.load);
    slot.load = slot.waiting;
    slot.waiting = nullptr;
    // The first period after the swap hands the new effect its values.
    slot.seenVersion = slot.load ? slot.load->version.load(std::memory_order_acquire) - 1 : 0;
    for (Stage& stage : slot.stage)
        stage = Stage{};
}

void Rack::takeCommands() {
    Install next;
    while (installs_.pop(next)) {
        SlotState& slot = units_[std::size_t(next.unit)].slotStates[std::size_t(next.slot)];
        const std::size_t at = index(next.unit, next.slot);
        // A load not yet swapped in gives way to the newer one at once.
        if (swapPending_[at] && slot.waiting) retired_.push(slot.waiting);
        slot.waiting = next.load;  // null: the slot is to be emptied
        swapPending_[at] = true;
    }
    for (int u = 0; u < kUnits; ++u) {
        UnitState& unit = units_[std::size_t(u)];
        const Controls& controls = controls_[std::size_t(u)];
        // An effect waiting for its slot goes in once the old one is silent on every bus.
        bool anyLoaded = false, anyTail = false;
        for (int s = 0; s < kSlots; ++s) {
            SlotState& slot = unit.slotStates[std::size_t(s)];
            if (swapPending_[index(u, s)]) {
                const bool silent = std::all_of(slot.stage.begin(), slot.stage.end(),
                                                [](const Stage& st) { return st.keep.now == 0; });
                if (silent || !slot.load) {
                    swapWaiting(slot);
                    swapPending_[index(u, s)] = false;
                }
            }
            if (slot.load) {
                anyLoaded = true;
                anyTail = anyTail || slot.load->tail;
            }
        }
        const bool on = controls.on.load(std::memory_order_relaxed);
        const bool cut = controls.cutTails.load(std::memory_order_relaxed);
        const float mix = controls.mix.load(std::memory_order_relaxed);
        for (int b = 0; b < kBuses; ++b) {
            const bool wanted = on && anyLoaded &&
                                controls.assigned[std::size_t(b)].load(std::memory_order_relaxed);
            aim(unit.stage[std::size_t(b)], wanted, anyTail, cut, mix);
        }
    }
    for (int b = 0; b < kBuses; ++b) {
        bool busy = false;
        for (const UnitState& unit : units_) {
            const Stage& stage = unit.stage[std::size_t(b)];
            busy = busy || stage.keep.now > 0 || stage.keep.target > 0;
        }
        busy_[std::size_t(b)] = busy;
    }
}

void Rack::aim(Stage& stage, bool wanted, bool tail, bool cut, float mix) const {
    stage.mix.target = mix;
    if (stage.keep.now == 0) stage.mix.now = mix;  // nothing heard yet: start where it is set
    if (wanted) {
        // The input opens with a glide even from silence: an echo would repeat a step in it.
        stage.feed.target = stage.keep.target = 1;
        stage.quietFrames = 0;
    } else if (tail && !cut && stage.keep.now > 0) {
        stage.feed.target = 0;  // ring out: no new sound in, what is there plays on
    } else {
        stage.feed.target = stage.keep.target = 0;
    }
}

void Rack::syncParams(SlotState& slot) {
    SlotLoad& load = *slot.load;
    const std::uint32_t version = load.version.load(std::memory_order_acquire);
    if (version == slot.seenVersion) return;
    slot.seenVersion = version;
    for (auto& copy : load.copies)
        if (copy)
            for (int i = 0; i < load.paramCount; ++i)
                copy->setParam(i, load.values[std::size_t(i)].load(std::memory_order_relaxed));
}

void Rack::process(Bus bus, float* stereo, int frames) {
    frames = std::min(frames, maxFrames_);
    for (int u = 0; u < kUnits; ++u)
        runUnit(u, int(bus), stereo, frames);
}

// out = dry + keep * mix * (effect(feed * dry) - feed * dry): on, the mix of dry and wet; with
// the feed closed, the dry signal plus whatever the effect still sounds; with `keep` closed, dry.
void Rack::blend(Stage& stage, float* buffer, const float* dry, const float* fed, int frames,
                 float& peak) const {
    float high = 0;
    if (!stage.keep.moving() && !stage.mix.moving()) {
        const float gain = stage.keep.now * stage.mix.now;
        for (int i = 0; i < 2 * frames; ++i) {
            const float own = buffer[i] - fed[i];
            high = std::max(high, std::fabs(own));
            buffer[i] = dry[i] + gain * own;
        }
    } else {
        for (int i = 0; i < frames; ++i) {
            stage.keep.now = approach(stage.keep.now, stage.keep.target, step_);
            stage.mix.now = approach(stage.mix.now, stage.mix.target, step_);
            const float gain = stage.keep.now * stage.mix.now;
            for (int c = 2 * i; c < 2 * i + 2; ++c) {
                const float own = buffer[c] - fed[c];
                high = std::max(high, std::fabs(own));
                buffer[c] = dry[c] + gain * own;
            }
        }
    }
    peak = high;
}

namespace {

// The feed of a stage applied to `buffer` (in place), keeping a copy of what was fed.
void feedInto(float& now, float target, float step, float* buffer, float* fed, int frames) {
    if (now == target) {
        if (now != 1.0f)
            for (int i = 0; i < 2 * frames; ++i)
                buffer[i] *= now;
    } else {
        for (int i = 0; i < frames; ++i) {
            now = approach(now, target, step);
            buffer[2 * i] *= now;
            buffer[2 * i + 1] *= now;
        }
    }
    std::copy_n(buffer, 2 * frames, fed);
}

}  // namespace

bool Rack::settle(Stage& stage, float peak, int frames) const {
    if (stage.keep.now == 0 && stage.keep.target == 0) return true;
    const bool ringing = stage.feed.now == 0 && stage.feed.target == 0;
    if (!ringing) {
        stage.quietFrames = 0;
        return false;
    }
    stage.quietFrames = peak < kQuietFloor ? stage.quietFrames + frames : 0;
    if (stage.quietFrames < quietLimit_) return false;
    stage.keep.now = stage.keep.target = 0;
    stage.quietFrames = 0;
    return true;
}

void Rack::runUnit(int u, int bus, float* buffer, int frames) {
    UnitState& unit = units_[std::size_t(u)];
    Stage& stage = unit.stage[std::size_t(bus)];
    if (stage.keep.now == 0 && stage.keep.target == 0) return;
    const std::size_t samples = 2 * std::size_t(frames);
    float* dry = unitDry_.data();
    float* fed = unitFed_.data();
    std::copy_n(buffer, samples, dry);
    feedInto(stage.feed.now, stage.feed.target, step_, buffer, fed, frames);
    for (SlotState& slot : unit.slotStates)
        runSlot(u, slot, bus, buffer, frames);
    float peak = 0;
    blend(stage, buffer, dry, fed, frames, peak);
    // The period as blended stands: a glide that ended in it has already landed on the dry
    // signal, and a ring-out ends only once what it adds is below the floor.
    if (settle(stage, peak, frames)) {
        // Silent now: every effect of the unit on this bus starts afresh next time.
        for (SlotState& slot : unit.slotStates) {
            slot.stage[std::size_t(bus)] = Stage{};
            if (slot.load && slot.load->copies[std::size_t(bus)])
                slot.load->copies[std::size_t(bus)]->reset();
        }
    }
}

void Rack::runSlot(int u, SlotState& slot, int bus, float* buffer, int frames) {
    if (!slot.load) return;
    Effect* effect = slot.load->copies[std::size_t(bus)].get();
    if (!effect) return;
    Stage& stage = slot.stage[std::size_t(bus)];
    const Controls& controls = controls_[std::size_t(u)];
    const std::size_t s = std::size_t(&slot - units_[std::size_t(u)].slotStates.data());
    const bool swapping = swapPending_[index(u, int(s))];
    const bool wanted = !swapping && controls.slotOn[s].load(std::memory_order_relaxed);
    // A swap fades the old effect out whole, tail and all.
    aim(stage, wanted, slot.load->tail, swapping || controls.cutTails.load(), 1.0f);
    if (stage.keep.now == 0 && stage.keep.target == 0) return;
    syncParams(slot);
    const std::size_t samples = 2 * std::size_t(frames);
    float* dry = slotDry_.data();
    float* fed = slotFed_.data();
    std::copy_n(buffer, samples, dry);
    feedInto(stage.feed.now, stage.feed.target, step_, buffer, fed, frames);
    const ProcessContext context{rate_,
                                 beatSeconds_[std::size_t(bus)].load(std::memory_order_relaxed)};
    effect->process(buffer, frames, context);
    float peak = 0;
    blend(stage, buffer, dry, fed, frames, peak);
    if (settle(stage, peak, frames)) {
        stage = Stage{};
        effect->reset();
    }
}

}  // namespace kelvra::audio::fx
