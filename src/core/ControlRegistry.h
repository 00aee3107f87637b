// The one registry of the program's controls. Each unit registers the controls it owns once, when
// it is built, under the session scripts' name (`playCB2`, `LhotCue` with its index) and a
// readable alias (`left.play`, `left.hotcue`); the window, the keyboard map, controller mappings,
// the learn window and session scripts all find them here. A control carries its model (value,
// range and clicks), its state (lit or on) and a caption in words for people.
// Thread: UI thread only.
#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

#include "core/ControlModels.h"

namespace kelvra {

enum class ControlType { Button, Slider, Jog, Text };

struct RegisteredControl {
    QString name = {};    // the scripts' and mappings' name
    int index = -1;       // the member of a group (`LhotCue 3`, `speedCB 1`); -1 for a lone control
    QString alias = {};   // the readable name
    int aliasIndex = -1;  // its index: a group's own (`left.hotcue 3`), or -1
    QString caption = {};  // what a person reads: "Left deck: Hot cue 4"
    ButtonModel* button = nullptr;
    SliderModel* slider = nullptr;
    JogModel* jog = nullptr;
    TextModel* text = nullptr;
    // Buttons whose state shows on a deck display (play, pause, stop, cue) are on while its lamp
    // is; every other button is on while its model says it is lit.
    DeckDisplayModel* lampDisplay = nullptr;
    DeckDisplayModel::Lamp lamp = DeckDisplayModel::Play;
    // A fader drawn with its minimum at the top (a deck's volume, its pitch, the headphones):
    // up on a hardware fader is towards the top.
    bool topIsMinimum = false;

    ControlType type() const;
    bool isOn() const;
    // Sends changed() whenever isOn() may have changed.
    QObject* stateSource() const;
    int value() const { return slider ? slider->value() : isOn() ? 1 : 0; }
    int minimum() const { return slider ? slider->minimum() : 0; }
    int maximum() const { return slider ? slider->maximum() : 1; }
    // "LhotCue 3", or the plain name of a lone control.
    QString indexedName() const;
};

class ControlRegistry {
  public:
    ControlRegistry() = default;
    ControlRegistry(const ControlRegistry&) = delete;
    ControlRegistry& operator=(const ControlRegistry&) = delete;

    // Registers a control; its name and alias (with its index) must both be new.
    const RegisteredControl& add(RegisteredControl control);

    // What a name and index from a script, a mapping or a key row come to. A group's name
    // takes only its own indexes (a name that is both, like `LloopRoll`, is the lone control
    // without one); a lone control given an index is still found, and says so, for the callers
    // that refuse it.
    struct Lookup {
        enum Miss { Found, NoSuchName, NeedsIndex, IndexOutOfRange };
        const RegisteredControl* control = nullptr;
        Miss miss = NoSuchName;
        bool indexIgnored = false;     // found a lone control, though an index was given
        int lowest = 0, highest = -1;  // a group's indexes
    };
    Lookup lookup(const QString& name, int index = -1) const;
    // The control, or null.
    const RegisteredControl* find(const QString& name, int index = -1) const {
        return lookup(name, index).control;
    }
    // The models by name, for code that knows what it asks for; null when there is none.
    ButtonModel* button(const QString& name, int index = -1) const;
    SliderModel* slider(const QString& name, int index = -1) const;

    // Every control, in registration order.
    const std::vector<std::unique_ptr<RegisteredControl>>& all() const { return controls_; }

  private:
    struct Group {
        int lowest = 0;
        int highest = -1;
    };
    const RegisteredControl* exact(const QString& name, int index) const;

    std::vector<std::unique_ptr<RegisteredControl>> controls_;
    QHash<QString, const RegisteredControl*> byName_;  // "name" or "name\x1findex"
    QHash<QString, Group> groups_;                     // the indexes a group's name takes
};

}  // namespace kelvra
