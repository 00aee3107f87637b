#include "app/ControllerTargets.h"

#include "app/ControlDirectory.h"

namespace kelvra::app {

controllers::ControlTarget controllerTarget(MainControls& controls, const QString& name,
                                            int index) {
    const NamedControl found = findControl(controls, name, index);
    controllers::ControlTarget target{found.button, found.slider, found.jog};
    if (found.slider) {
        // The vertical faders have their minimum at the top; the tone knobs turn up to their
        // maximum.
        target.topIsMinimum = found.slider->orientation() == Orientation::Vertical;
        for (Side side : {Side::Left, Side::Right}) {
            decks::DeckControls& deck = controls.deck(side);
            for (const SliderModel* knob :
                 {&deck.eqLow, &deck.eqMid, &deck.eqHigh, &deck.filter, &deck.gain})
                if (knob == found.slider) target.topIsMinimum = false;
        }
    }
    if (!found.button) return target;
    for (Side side : {Side::Left, Side::Right}) {
        decks::DeckControls& deck = controls.deck(side);
        const std::pair<ButtonModel*, DeckDisplayModel::Lamp> lamps[] = {
            {&deck.play, DeckDisplayModel::Play},
            {&deck.playPause, DeckDisplayModel::Play},  // lit while the deck plays
            {&deck.pause, DeckDisplayModel::Pause},
            {&deck.stop, DeckDisplayModel::Stop},
            {&deck.cue, DeckDisplayModel::Cue},
        };
        for (const auto& [button, lamp] : lamps)
            if (button == found.button) {
                target.display = &deck.display;
                target.lamp = lamp;
            }
    }
    return target;
}

}  // namespace kelvra::app
