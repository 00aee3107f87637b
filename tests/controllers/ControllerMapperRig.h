// A deck's worth of real control models behind a resolver that answers like the main window's
// directory (a lone control whatever the index, a group member only by its own), the messages
// the mapper sends to the lights, and what the buttons were told.
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

    ControlTarget resolve(const QString& name, int index) {
        if (name == "playCB2") return {&play, nullptr, nullptr, &display, DeckDisplayModel::Play};
        if (name == "cueCB2") return {&cue, nullptr, nullptr, &display, DeckDisplayModel::Cue};
        if (name == "LkeyLockCB") return {&keyLock};
        if (name == "LjogTouch") return {&jogTouch};
        if (name == "LhotCue" && index >= 0 && index < 8) return {&hotCue[index]};
        if (name == "LpitchScroll") return {nullptr, &pitch};
        if (name == "LVolScroll") return {nullptr, &volume};
        if (name == "LeqLow") return {nullptr, &eq};
        if (name == "Ljog") return {nullptr, nullptr, &jog};
        return {};
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
    ControllerMapper mapper{[this](const QString& name, int index) { return resolve(name, index); },
                            [this](const MidiMessage& m) { lights.push_back(m); }};
};

}  // namespace kelvra::controllers::test
