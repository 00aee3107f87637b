#include "decks/DeckTone.h"

#include <algorithm>
#include <cmath>

#include "core/ControlModels.h"

namespace kelvra::decks {
namespace {

constexpr int kUnity = 50;
constexpr float kCutStepDb = 0.8f;
constexpr float kBoostDb = 6.0f;
constexpr float kTrimDb = 12.0f;

float fromDecibels(float db) {
    return std::pow(10.0f, db / 20.0f);
}

}  // namespace

float eqBandGain(int knob) {
    if (knob <= 0) return 0.0f;
    if (knob >= kUnity)
        return fromDecibels(kBoostDb * float(std::min(knob, 100) - kUnity) / kUnity);
    return fromDecibels(-kCutStepDb * float(kUnity - knob));
}

float filterAmount(int knob) {
    return float(std::clamp(knob, 0, 100) - kUnity) / kUnity;
}

float trimDecibels(int knob) {
    return kTrimDb * float(std::clamp(knob, 0, 100) - kUnity) / kUnity;
}

DeckTone::DeckTone(Deck& deck, audio::EngineDoor& door) : deck_(deck), door_(door) {
    DeckControls& c = deck_.controls();
    for (SliderModel* knob : {&c.eqLow, &c.eqMid, &c.eqHigh, &c.filter, &c.gain})
        QObject::connect(knob, &SliderModel::changed, [this] { apply(); });
    ButtonModel* kills[] = {&c.killLow, &c.killMid, &c.killHigh};
    for (int band = 0; band < 3; ++band) {
        ButtonModel* kill = kills[band];
        kill->setLit(false, kKillColour);
        QObject::connect(kill, &ButtonModel::clicked, [this, kill, band] {
            killed_[band] = !killed_[band];
            kill->setLit(killed_[band], kKillColour);
            apply();
        });
    }
    deck_.events().loaded.connect([this] { apply(); });
}

audio::ChannelEffects DeckTone::effects() const {
    const DeckControls& c = deck_.controls();
    const auto band = [this](const SliderModel& knob, int index) {
        return killed_[index] ? 0.0f : eqBandGain(knob.value());
    };
    return {band(c.eqLow, 0), band(c.eqMid, 1), band(c.eqHigh, 2), filterAmount(c.filter.value()),
            trimDecibels(c.gain.value()), int(deck_.side())};
}

void DeckTone::apply() {
    if (!deck_.streamId()) return;
    door_.setEffects(deck_.streamId(), effects());
}

}  // namespace kelvra::decks
