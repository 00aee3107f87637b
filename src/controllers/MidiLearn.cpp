#include "controllers/MidiLearn.h"

#include <cstdlib>

#include "controllers/CcDecoding.h"

namespace kelvra::controllers {
namespace {

// Which encoder form a value reads as, if either.
std::optional<CcMode> encoderForm(int value) {
    if ((value >= 1 && value <= 24) || value >= 104) return CcMode::Relative;
    if (value >= 40 && value <= 88 && value != 64) return CcMode::Relative64;
    return std::nullopt;
}

}  // namespace

void MidiLearn::arm(const LearnTarget& target) {
    target_ = target;
    armed_ = true;
    seen_.clear();
}

void MidiLearn::disarm() {
    armed_ = false;
    seen_.clear();
}

InputBinding MidiLearn::binding(MessageKind kind, int channel, int number) const {
    InputBinding b;
    b.message = kind;
    b.channel = channel;
    b.number = number;
    b.control = target_.control;
    b.index = target_.index;
    return b;
}

std::optional<InputBinding> MidiLearn::offer(const MidiMessage& message) {
    if (!armed_) return std::nullopt;
    const int number = message.data1 & 0x7F;
    const int value = message.data2 & 0x7F;
    std::optional<InputBinding> learned;
    if (message.kind() == kNoteOn && value > 0) {
        if (target_.kind != ControlKind::Slider)
            learned = binding(MessageKind::Note, message.channel(), number);
    } else if (message.kind() == kControlChange) {
        learned = offerCc(message.channel(), number, value);
    }
    if (learned) disarm();
    return learned;
}

std::optional<InputBinding> MidiLearn::offerCc(int channel, int number, int value) {
    const int key = channel << 7 | number;
    const bool fresh = !seen_.count(key);
    Seen& seen = seen_[key];
    if (fresh) seen.first = value;
    if (target_.kind != ControlKind::Jog) {
        if (std::abs(value - seen.first) < kMinMove) return std::nullopt;
        return binding(MessageKind::Cc, channel, number);
    }
    const auto form = encoderForm(value);
    if (!form) {
        seen.lastSteps = 0;
        return std::nullopt;
    }
    const int steps = relativeSteps(*form, value, Direction::Normal);
    const bool again =
        seen.lastSteps != 0 && seen.lastMode == *form && (seen.lastSteps > 0) == (steps > 0);
    seen.lastSteps = steps;
    seen.lastMode = *form;
    if (!again) return std::nullopt;
    InputBinding b = binding(MessageKind::Cc, channel, number);
    b.mode = *form;
    return b;
}

}  // namespace kelvra::controllers
