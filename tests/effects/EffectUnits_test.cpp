// The effect units' logic without a window: what the knobs and their texts show, loading and
// choosing effects, the super knob, and the units coming back as they were left.
#include <gtest/gtest.h>

#include "effects/EffectUnits.h"
#include "settings/MemorySettingsStore.h"

namespace kelvra::effects {
namespace {

using audio::fx::EffectInfo;
using audio::fx::ParamInfo;
using Kind = ParamInfo::Kind;

// A plugin as the catalogue hears of it: a gain in dB and a switch.
const EffectInfo& gainInfo() {
    static const EffectInfo info{"lv2:urn:test:gain",
                                 "Test Gain",
                                 {{"gain", "Gain", "dB", -20, 20, 0, Kind::Continuous, false},
                                  {"invert", "Invert", "", 0, 1, 0, Kind::Toggle, false}},
                                 0,
                                 false,
                                 true,
                                 {}};
    return info;
}

class Gain final : public audio::fx::Effect {
  public:
    const EffectInfo& info() const override { return gainInfo(); }
    void prepare(int, int) override {}
    void setParam(int, float) override {}
    void process(float*, int, const audio::fx::ProcessContext&) override {}
    void reset() override {}
};

EffectCatalogue::Plugins fakePlugins() {
    EffectInfo broken = gainInfo();
    broken.id = "lv2:urn:test:broken";
    broken.name = "Test Broken";
    broken.usable = false;
    broken.whyNotUsable = "it needs a feature Kelvra does not offer";
    return {[broken] {
                return std::vector<EffectInfo>{gainInfo(), broken};
            },
            [](const std::string& id) -> std::unique_ptr<audio::fx::Effect> {
                if (id == gainInfo().id) return std::make_unique<Gain>();
                return nullptr;
            }};
}

struct Units {
    explicit Units(settings::SettingsStore* store) : units(rack, catalogue, controls, store) {}
    audio::fx::Rack rack;
    EffectCatalogue catalogue{fakePlugins};
    EffectControls controls;
    EffectUnits units;
    SlotControls& slot(int u, int s) {
        return controls.units[std::size_t(u)].slotControls[std::size_t(s)];
    }
};

TEST(EffectUnits, BeatTimesReadAsFractionsAndKnobsStepThroughThem) {
    const ParamInfo time{"time", "Time", "beats", 1.0f / 32, 16, 1, Kind::Beats, true};
    EXPECT_EQ(paramText(time, 0.25f), "1/4");
    EXPECT_EQ(paramText(time, 0.75f), "3/4");
    EXPECT_EQ(paramText(time, 1.0f / 3), "1/3");
    EXPECT_EQ(paramText(time, 1), "1");
    EXPECT_EQ(paramText(time, 1.5f), "3/2");
    EXPECT_EQ(paramText(time, 16), "16");
    // Every step of the knob lands on a beat fraction, and the knob's ends are the range's.
    EXPECT_FLOAT_EQ(valueAtKnob(time, 0), 1.0f / 32);
    EXPECT_FLOAT_EQ(valueAtKnob(time, 1), 16);
    for (float step : audio::fx::kBeatSteps)
        EXPECT_FLOAT_EQ(valueAtKnob(time, knobPosition(time, step)), step) << step;

    // A frequency moves evenly in ratio: the middle of 20 Hz..20 kHz is 632 Hz.
    const ParamInfo cut{"lowcut", "Low cut", "Hz", 20, 20000, 20, Kind::Continuous, true};
    EXPECT_NEAR(valueAtKnob(cut, 0.5), 632.5f, 0.5f);
    EXPECT_NEAR(knobPosition(cut, 632.5f), 0.5, 1e-4);
    EXPECT_EQ(paramText(cut, 1500), "1.5 kHz");
    const ParamInfo share{"feedback", "Feedback", "%", 0, 1, 0.5f, Kind::Continuous, false};
    EXPECT_EQ(paramText(share, 0.5f), "50%");
    const ParamInfo percent{"wet", "Wet", "%", 0, 100, 50, Kind::Continuous, false};
    EXPECT_EQ(paramText(percent, 25), "25%");
    const ParamInfo bits{"bits", "Bits", "", 1, 16, 8, Kind::Integer, false};
    EXPECT_EQ(valueAtKnob(bits, 0.5), 8.0f);  // 8.5, to the even neighbour
}

TEST(EffectUnits, APluginIsLoadedSetByItsSymbolAndRefusedWithTheReason) {
    Units units(nullptr);
    EXPECT_EQ(units.units.load(1, 0, "lv2:urn:test:gain"), "");
    EXPECT_EQ(units.slot(1, 0).effect.text(), "Test Gain");
    EXPECT_TRUE(units.slot(1, 0).on.isLit());
    EXPECT_EQ(units.slot(1, 0).knobNames[0].text(), "Gain");
    EXPECT_EQ(units.slot(1, 0).knobTexts[0].text(), "0.0 dB");
    EXPECT_EQ(units.slot(1, 0).knobNames[2].text(), "");  // it has two parameters only

    EXPECT_EQ(units.units.setParam(1, 0, "gain", -6), "");
    EXPECT_FLOAT_EQ(units.units.value(1, 0, 0), -6);
    EXPECT_EQ(units.slot(1, 0).knobTexts[0].text(), "-6.0 dB");
    EXPECT_EQ(units.slot(1, 0).knobs[0].value(), 350);
    // Out of range is held at the range's end; what is not there says what is.
    EXPECT_EQ(units.units.setParam(1, 0, "gain", 99), "");
    EXPECT_FLOAT_EQ(units.units.value(1, 0, 0), 20);
    EXPECT_EQ(units.units.setParam(1, 0, "time", 1),
              "Test Gain has no parameter 'time' (it has gain, invert)");
    EXPECT_NE(units.units.setParam(1, 1, "gain", 1), "");
    // The DJ turning the knob sets the value through the knob's scale.
    units.slot(1, 0).knobs[0].setValue(750);
    EXPECT_FLOAT_EQ(units.units.value(1, 0, 0), 10);

    EXPECT_EQ(units.units.load(1, 1, "lv2:urn:test:broken"),
              "Test Broken cannot be used: it needs a feature Kelvra does not offer");
    EXPECT_EQ(units.units.load(1, 1, "nothing"), "no effect named 'nothing'");
    EXPECT_NE(units.units.load(4, 0, "none"), "");
    EXPECT_EQ(units.units.loaded(1, 1), "");

    // The super knob moves the chosen parameter of every slot across its range.
    units.units.load(1, 2, "lv2:urn:test:gain");
    units.controls.units[1].super.setValue(25);
    EXPECT_FLOAT_EQ(units.units.value(1, 0, 0), -10);
    EXPECT_FLOAT_EQ(units.units.value(1, 2, 0), -10);
}

TEST(EffectUnits, TheListIsFilledWhenShownAndAChoiceLoadsOrGoesBack) {
    Units units(nullptr);
    EXPECT_TRUE(units.slot(0, 0).choice.items().isEmpty()) << "plugins looked for too early";
    units.controls.show.click();
    EXPECT_TRUE(units.controls.show.isLit());
    ChoiceModel& choice = units.slot(0, 1).choice;
    const QStringList items = choice.items();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items.first(), "none");
    EXPECT_EQ(items.mid(items.size() - 2), QStringList({"Test Gain", "Test Broken"}));
    EXPECT_FALSE(choice.isItemEnabled(int(items.size()) - 1));
    EXPECT_EQ(choice.currentIndex(), 0);

    choice.choose(int(items.size()) - 2);
    EXPECT_EQ(units.units.loaded(0, 1), "lv2:urn:test:gain");
    EXPECT_EQ(units.slot(0, 1).effect.text(), "Test Gain");
    // What cannot be loaded leaves the slot, and the list, as they were.
    choice.choose(int(items.size()) - 1);
    EXPECT_EQ(units.units.loaded(0, 1), "lv2:urn:test:gain");
    EXPECT_EQ(choice.currentIndex(), int(items.size()) - 2);
    // The next and previous buttons go round the usable ones, "none" included.
    units.slot(0, 1).next.click();
    EXPECT_EQ(units.units.loaded(0, 1), "");
    EXPECT_EQ(choice.currentIndex(), 0);
    units.slot(0, 1).previous.click();
    EXPECT_EQ(units.units.loaded(0, 1), "lv2:urn:test:gain");
}

TEST(EffectUnits, UnitsComeBackAsTheyWereLeftAndStartOff) {
    settings::MemorySettingsStore store;
    {
        Units units(&store);
        units.units.restore();
        UnitControls& unit = units.controls.units[2];
        units.units.load(2, 1, "lv2:urn:test:gain");
        units.units.setParam(2, 1, "gain", -3.5);
        units.units.setParam(2, 1, "invert", 1);
        unit.assign[1].click();
        unit.assign[3].click();
        unit.mix.setValue(40);
        unit.cutTails.click();
        unit.on.click();
        units.slot(2, 1).on.click();  // loaded, then switched off
        units.controls.show.click();
        for (int tick = 0; tick < 20; ++tick)
            units.units.tick();
    }
    Units units(&store);
    units.units.restore();
    const UnitControls& unit = units.controls.units[2];
    EXPECT_EQ(units.units.loaded(2, 1), "lv2:urn:test:gain");
    EXPECT_FLOAT_EQ(units.units.value(2, 1, 0), -3.5f);
    EXPECT_FLOAT_EQ(units.units.value(2, 1, 1), 1);
    EXPECT_FALSE(units.slot(2, 1).on.isLit());
    EXPECT_EQ(unit.mix.value(), 40);
    EXPECT_TRUE(unit.cutTails.isLit());
    // Put on the main mix at first, and on the right deck and the headphones since.
    EXPECT_TRUE(unit.assign[1].isLit());
    EXPECT_TRUE(unit.assign[2].isLit());
    EXPECT_TRUE(unit.assign[3].isLit());
    EXPECT_FALSE(unit.assign[0].isLit());
    EXPECT_FALSE(unit.on.isLit()) << "a unit came back switched on";
    EXPECT_TRUE(units.controls.show.isLit());
}

}  // namespace
}  // namespace kelvra::effects
