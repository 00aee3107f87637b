// The effect units' logic: binds the units' controls to the engine's rack, loads effects into
// slots, sets their parameters from knobs, the super knob and scripts, keeps each bus's beat
// length with the tempo it plays at, and remembers the units across restarts (which effects,
// their values, mix, super knob and buses; units start off). Thread: UI thread only.
#pragma once

#include <QString>
#include <array>
#include <vector>

#include "audio/fx/Rack.h"
#include "effects/EffectCatalogue.h"
#include "effects/EffectControls.h"
#include "settings/SettingsStore.h"

namespace kelvra::effects {

// A value in its parameter's own words, as the knob's text shows it: times in beats as fractions
// ("1/4", "3/4", "1", "2"), whole numbers plain, the rest with their unit.
QString paramText(const audio::fx::ParamInfo& param, float value);
// Where a value sits on its knob (0..1), and the value a knob position gives: evenly in ratio
// for logarithmic ranges, through the beat steps for beat times.
double knobPosition(const audio::fx::ParamInfo& param, float value);
float valueAtKnob(const audio::fx::ParamInfo& param, double position);

class EffectUnits {
  public:
    EffectUnits(audio::fx::Rack& rack, EffectCatalogue& catalogue, EffectControls& controls,
                settings::SettingsStore* store);
    ~EffectUnits();
    EffectUnits(const EffectUnits&) = delete;
    EffectUnits& operator=(const EffectUnits&) = delete;

    // Loads an effect by id ("echo", "lv2:URI", or "none" to empty the slot) into a unit and a
    // slot (both from 0); the slot is on afterwards. Empty, or why it could not.
    QString load(int unit, int slot, const QString& id);
    // A parameter of a slot's effect by its symbol, in its own units. Empty, or why not.
    QString setParam(int unit, int slot, const QString& symbol, double value);
    // The tempo a bus plays at now (0: none, which counts as 120 BPM).
    void setTempo(audio::fx::Bus bus, double bpm);
    // The id in a slot ("" when empty) and a parameter's value.
    QString loaded(int unit, int slot) const;
    float value(int unit, int slot, int param) const;

    // Reads the units back as they were left; writes them now.
    void restore();
    void save();
    // On the display tick: writes what changed once the DJ has let it be for about a second.
    void tick();

  private:
    struct Slot {
        QString id;
        const audio::fx::EffectInfo* info = nullptr;
        std::vector<float> values;
    };

    void bind(int unit);
    // The effect list in every slot's choice, filled once (the plugins are looked for then).
    void fillChoices();
    void showChoice(int unit, int slot);
    void stepEffect(int unit, int slot, int direction);
    void applyParam(int unit, int slot, int param, float value);
    void showSlot(int unit, int slot);
    void showKnob(int unit, int slot, int knob);
    void moveSuper(int unit);
    void changed() { dirtyTicks_ = 1; }

    audio::fx::Rack& rack_;
    EffectCatalogue& catalogue_;
    EffectControls& controls_;
    settings::SettingsStore* store_;
    std::array<std::array<Slot, kSlotCount>, kUnitCount> slots_;
    bool showing_ = false;            // knobs being set from values: their changes are not the DJ's
    std::vector<QString> choiceIds_;  // by choice index; empty until the list is filled
    int dirtyTicks_ = 0;              // 0: nothing to write
};

}  // namespace kelvra::effects
