// MIDI learn: armed with one control, it turns the next deliberate message from the controller
// into a binding for that control. No widgets: the learn window draws from it, and tests drive
// it with messages. Thread: UI thread only.
#pragma once

#include <QString>
#include <map>
#include <optional>

#include "controllers/MidiMapping.h"
#include "controllers/MidiMessage.h"

namespace kelvra::controllers {

enum class ControlKind { Button, Slider, Jog };

struct LearnTarget {
    QString control;  // the mapping's name, written into the line learnt
    int index = -1;
    ControlKind kind = ControlKind::Button;
    QString caption = {};  // what the DJ reads for it; empty: the name
};

// What it takes as deliberate:
//  - a note-on (velocity above 0) for a button, or for a jog wheel (its touch); note-offs never;
//  - for a button or slider, a cc once it has moved by kMinMove from the first value it sent
//    since arming: a noisy knob twitching a step or two is passed over, a fader moved or a cc
//    button pressed and let go is taken (bound as absolute);
//  - for a jog wheel, a cc whose values read as an encoder's: two in a row from the same cc
//    turning the same way, both 1..24 or 104..127 (two's complement: `relative`) or both
//    40..88 (around 64: `relative64`). The bands do not overlap, so one form is never taken for
//    the other; a knob's twitch around 64 changes direction and is passed over.
class MidiLearn {
  public:
    static constexpr int kMinMove = 3;

    void arm(const LearnTarget& target);
    void disarm();
    bool isArmed() const { return armed_; }
    const LearnTarget& target() const { return target_; }

    // A message from the controller. Once it completes a binding, learning disarms and the
    // binding is returned (its line number 0: not in a file yet).
    std::optional<InputBinding> offer(const MidiMessage& message);

  private:
    std::optional<InputBinding> offerCc(int channel, int number, int value);
    InputBinding binding(MessageKind kind, int channel, int number) const;

    bool armed_ = false;
    LearnTarget target_;
    struct Seen {
        int first = 0;
        int lastSteps = 0;  // a jog's last encoder-looking steps, 0 when none
        CcMode lastMode = CcMode::Relative;
    };
    std::map<int, Seen> seen_;  // by channel and number
};

}  // namespace kelvra::controllers
