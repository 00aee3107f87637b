// The effect units' controls as models: for each of the four units its on button, the buses it
// is put on, the dry/wet mix and the super knob, and for each of its three slots the slot's on
// button, the effect's name, buttons that step through the effect list and four parameter knobs
// with their values in words. Registered under the names scripts and mappings use (`fx1On`,
// `fx1Mix`, `fx1Slot2On`, `fx1AssignL` …). Thread: UI thread only.
#pragma once

#include <array>

#include "core/ControlModels.h"
#include "core/ControlRegistry.h"

namespace kelvra::effects {

inline constexpr int kUnitCount = 4;
inline constexpr int kSlotCount = 3;
inline constexpr int kKnobsPerSlot = 4;
// The buses a unit is put on, in the order of its assign buttons.
inline constexpr int kBusCount = 4;

struct SlotControls {
    ButtonModel on;
    TextModel effect;  // the loaded effect's name, or "none"
    // The effect list to choose from: "none", then every effect by name (those that cannot run
    // greyed out). Filled when the units are first shown, so plugins are looked for only then.
    ChoiceModel choice;
    ButtonModel next, previous;  // step through the effect list
    // The first parameters of the effect, each as a knob 0..1000 across its range, with its
    // name above it and its value in its own units below it ("1/2", "-6.0 dB").
    std::array<SliderModel, kKnobsPerSlot> knobs{
        {SliderModel(0, 1000, 0, Orientation::Horizontal),
         SliderModel(0, 1000, 0, Orientation::Horizontal),
         SliderModel(0, 1000, 0, Orientation::Horizontal),
         SliderModel(0, 1000, 0, Orientation::Horizontal)}};
    std::array<TextModel, kKnobsPerSlot> knobNames;
    std::array<TextModel, kKnobsPerSlot> knobTexts;
};

struct UnitControls {
    ButtonModel on;
    std::array<ButtonModel, kBusCount> assign;  // left deck, right deck, main mix, headphones
    ButtonModel cutTails;  // lit: switching off cuts echoes and reverbs instead of ringing out
    SliderModel mix{0, 100, 100, Orientation::Horizontal};   // 0 dry only, 100 wet only
    SliderModel super{0, 100, 50, Orientation::Horizontal};  // moves each slot's chosen parameter
    std::array<SlotControls, kSlotCount> slotControls;
};

struct EffectControls {
    EffectControls();
    EffectControls(const EffectControls&) = delete;
    EffectControls& operator=(const EffectControls&) = delete;

    void registerControls(ControlRegistry& registry);

    std::array<UnitControls, kUnitCount> units;
    ButtonModel show;  // the row of effect units shown below the decks, or hidden
};

}  // namespace kelvra::effects
