// A deck's worth of real control models in a registry of their own, the messages the mapper
// sends to the lights, and what the buttons were told.
#pragma once

#include <QStringList>
#include <map>

#include "controllers/ControllerMapper.h"

namespace kelvra::controllers::test {

inline MidiMessage noteOn(int channel, int number, int velocity = 127) {
    return {static_cast<std::uint8_t>(kNoteOn | (channel - 1)), static_cast<std::uint8_t>(number),
            static_cast<std::uint8_t>(velocity)};
}
inline MidiMessage noteOff(int channel, int number) {
    return {static_cast<std::uint8_t>(kNoteOff | (channel - 1)), static_cast<std::uint8_t>(number),
            0};
}
inline MidiMessage cc(int channel, int number, int value) {
    return {static_cast<std::uint8_t>(kControlChange | (channel - 1)),
            static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(value)};
}

struct MapperRig {
    MapperRig() {
        pitch.setSteps(1, 10);
        eq.setSteps(2, 5);
        keyLock.setBackColour(kColourOff);
        auto add = [this](const char* name, RegisteredControl control, int index = -1) {
            control.name = QLatin1String(name);
            control.index = index;
            registry.add(std::move(control));
        };
        add("playCB2", {.button = &play, .lampDisplay = &display, .lamp = DeckDisplayModel::Play});
        add("cueCB2", {.button = &cue, .lampDisplay = &display, .lamp = DeckDisplayModel::Cue});
        add("LkeyLockCB", {.button = &keyLock});
        add("LjogTouch", {.button = &jogTouch});
        for (int i = 0; i < 8; ++i)
            add("LhotCue", {.button = &hotCue[i]}, i);
        add("LpitchScroll", {.slider = &pitch});
        add("LVolScroll", {.slider = &volume});
        add("LeqLow", {.slider = &eq});
        add("Ljog", {.jog = &jog});
        for (auto& [name, button] : std::map<QString, ButtonModel*>{{"playCB2", &play},
                                                                    {"LjogTouch", &jogTouch},
                                                                    {"LhotCue0", &hotCue[0]},
                                                                    {"LhotCue1", &hotCue[1]}}) {
            QObject::connect(button, &ButtonModel::mousePressed,
                             [this, name] { events << name + " down"; });
            QObject::connect(button, &ButtonModel::mouseReleased,
                             [this, name] { events << name + " up"; });
            QObject::connect(button, &ButtonModel::clicked,
                             [this, name] { events << name + " click"; });
        }
        QObject::connect(&jog, &JogModel::turned, [this](int ticks) { turned += ticks; });
    }

    std::vector<MappingProblem> load(const QByteArray& text) {
        return mapper.load(parseMapping(text));
    }
    void send(std::initializer_list<MidiMessage> messages) {
        for (const MidiMessage& m : messages)
            mapper.handle(m);
    }

    ButtonModel play, cue, keyLock, jogTouch;
    ButtonModel hotCue[8];
    SliderModel pitch{0, 2000, 1000};
    SliderModel volume{0, 100, 100};
    SliderModel eq{0, 100, 50};
    JogModel jog;
    int turned = 0;
    DeckDisplayModel display;
    QStringList events;
    std::vector<MidiMessage> lights;
    ControlRegistry registry;
    ControllerMapper mapper{registry, [this](const MidiMessage& m) { lights.push_back(m); }};
};

}  // namespace kelvra::controllers::test
