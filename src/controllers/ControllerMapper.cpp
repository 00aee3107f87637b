#include "controllers/ControllerMapper.h"

#include <algorithm>
#include <cmath>

namespace kelvra::controllers {
namespace {

double shareOf(const SliderModel& slider) {
    const int span = slider.maximum() - slider.minimum();
    return span > 0 ? double(slider.value() - slider.minimum()) / span : 0.0;
}

QString named(const QString& name, int index) {
    return index >= 0 ? QStringLiteral("%1 %2").arg(name).arg(index) : name;
}

}  // namespace

ControllerMapper::ControllerMapper(const ControlRegistry& registry, LightSink lights,
                                   QObject* parent)
    : QObject(parent), registry_(registry), sink_(std::move(lights)) {}

ControllerMapper::~ControllerMapper() = default;

void ControllerMapper::resendLights() {
    for (auto& light : lights_) {
        light->known = false;
        refresh(*light);
    }
}

void ControllerMapper::clear() {
    for (const auto& light : lights_)
        if (light->known && light->lit) send(*light, false);
    ++generation_;
    connections_.reset();
    inputs_.clear();
    lights_.clear();
}

std::optional<QString> ControllerMapper::checkTarget(const QString& name, int index,
                                                     const RegisteredControl*& target) {
    const ControlRegistry::Lookup found = registry_.lookup(name, index);
    target = found.control;
    switch (found.miss) {
        case ControlRegistry::Lookup::Found:
            // A mapping is read once and kept: an index on a lone control is a slip to mend.
            if (found.indexIgnored) return QStringLiteral("%1 takes no index").arg(name);
            return std::nullopt;
        case ControlRegistry::Lookup::NeedsIndex:
            return QStringLiteral("%1 needs an index").arg(name);
        case ControlRegistry::Lookup::IndexOutOfRange:
            return QStringLiteral("%1 has no index %2").arg(name).arg(index);
        case ControlRegistry::Lookup::NoSuchName:
            break;
    }
    return QStringLiteral("no control named %1").arg(name);
}

std::optional<QString> ControllerMapper::bindInput(const InputBinding& b,
                                                   const RegisteredControl& target) {
    const QString name = named(b.control, b.index);
    if (b.message == MessageKind::Note) {
        if (target.slider)
            return QStringLiteral("%1 is a slider: a note cannot move it, bind it with cc")
                .arg(name);
    } else if (target.button) {
        if (b.mode != CcMode::Absolute)
            return QStringLiteral("%1 is a button: a cc on it takes no relative or 14bit")
                .arg(name);
    } else if (target.jog) {
        if (b.mode != CcMode::Relative && b.mode != CcMode::Relative64)
            return QStringLiteral("%1 is a jog wheel: bind it as relative or relative64").arg(name);
    }
    auto input = std::make_unique<Input>();
    input->binding = b;
    input->button = target.button;
    input->slider = target.slider;
    input->topIsMinimum = target.topIsMinimum;
    input->jog = target.jog;
    if (SliderModel* slider = input->slider) {
        auto movedElsewhere = [this, slider] { sliderMovedElsewhere(slider); };
        connect(slider, &SliderModel::changed, connections_.get(), movedElsewhere);
        connect(slider, &SliderModel::rangeChanged, connections_.get(), movedElsewhere);
    }
    inputs_.push_back(std::move(input));
    return std::nullopt;
}

std::vector<MappingProblem> ControllerMapper::load(const MidiMapping& mapping) {
    clear();
    connections_ = std::make_unique<QObject>();
    std::vector<MappingProblem> problems = mapping.problems;
    for (const InputBinding& binding : mapping.inputs) {
        const RegisteredControl* target = nullptr;
        auto problem = checkTarget(binding.control, binding.index, target);
        if (!problem && !target->button && !target->slider && !target->jog)
            problem = QStringLiteral("%1 cannot be played from a controller")
                          .arg(named(binding.control, binding.index));
        if (!problem) problem = bindInput(binding, *target);
        if (problem) problems.push_back({binding.line, *problem});
    }
    for (const LightBinding& binding : mapping.lights) {
        const RegisteredControl* target = nullptr;
        if (auto problem = checkTarget(binding.control, binding.index, target)) {
            problems.push_back({binding.line, *problem});
            continue;
        }
        if (!target->button) {
            problems.push_back(
                {binding.line, QStringLiteral("%1 is not a button: only a button's state lights")
                                   .arg(named(binding.control, binding.index))});
            continue;
        }
        auto light = std::make_unique<Light>();
        light->binding = binding;
        light->button = target->button;
        light->display = target->lampDisplay;
        light->lamp = target->lamp;
        Light* raw = light.get();
        if (target->lampDisplay)
            connect(target->lampDisplay, &DeckDisplayModel::changed, connections_.get(),
                    [this, raw] { refresh(*raw); });
        else
            connect(target->button, &ButtonModel::changed, connections_.get(),
                    [this, raw] { refresh(*raw); });
        lights_.push_back(std::move(light));
    }
    for (const auto& light : lights_)
        refresh(*light);
    std::stable_sort(
        problems.begin(), problems.end(),
        [](const MappingProblem& a, const MappingProblem& b) { return a.line < b.line; });
    return problems;
}

void ControllerMapper::handle(const MidiMessage& message) {
    MessageKind kind;
    bool noteOn = false;
    switch (message.kind()) {
        case kNoteOn:
            noteOn = message.data2 > 0;
            kind = MessageKind::Note;
            break;
        case kNoteOff:
            kind = MessageKind::Note;
            break;
        case kControlChange:
            kind = MessageKind::Cc;
            break;
        default:
            return;
    }
    const int number = message.data1 & 0x7F;
    const int value = message.data2 & 0x7F;
    // A button may switch the mapping while it acts; the old bindings are gone then.
    const int generation = generation_;
    for (std::size_t i = 0; i < inputs_.size() && generation == generation_; ++i)
        if (inputs_[i]->binding.listensTo(kind, message.channel(), number))
            act(*inputs_[i], noteOn, number, value);
}

void ControllerMapper::act(Input& input, bool noteOn, int number, int value) {
    const InputBinding& b = input.binding;
    // Up on the hardware is the top of the control on the screen.
    const bool inverted = (b.direction == Direction::Inverted) != input.topIsMinimum;
    if (b.message == MessageKind::Note) {
        if (input.jog) input.jog->setTouched(noteOn);
        press(input, noteOn);
        return;
    }
    if (input.button) {
        press(input, (value >= 64) != inverted);
        return;
    }
    const int steps = relativeSteps(b.mode, value, b.direction) * (input.topIsMinimum ? -1 : 1);
    if (input.jog) {
        input.jog->turn(steps);
        return;
    }
    if (!input.slider) return;
    switch (b.mode) {
        case CcMode::Relative:
        case CcMode::Relative64:
            setSlider(input, input.slider->value() + steps * input.slider->smallChange());
            break;
        case CcMode::Absolute:
            moveSlider(input, (inverted ? 127 - value : value) / 127.0);
            break;
        case CcMode::FourteenBit: {
            const auto position =
                number == b.number ? input.pair.msb(value) : input.pair.lsb(value);
            if (position) moveSlider(input, (inverted ? 16383 - *position : *position) / 16383.0);
            break;
        }
    }
}

void ControllerMapper::press(Input& input, bool down) {
    if (!input.button || down == input.pressed) return;
    input.pressed = down;
    // As the mouse does it: down on press; up, then the click, on release. The release may
    // have closed what the button belongs to, so it is looked at again before the click.
    if (down) {
        input.button->pressMouse(Qt::LeftButton);
    } else {
        input.button->releaseMouse(Qt::LeftButton);
        if (input.button) input.button->click();
    }
}

void ControllerMapper::moveSlider(Input& input, double share) {
    SliderModel& slider = *input.slider;
    if (!input.takeover.follows(share, shareOf(slider))) return;
    const int span = slider.maximum() - slider.minimum();
    setSlider(input, slider.minimum() + static_cast<int>(std::lrint(share * span)));
}

void ControllerMapper::setSlider(Input& input, int value) {
    const Input* outer = moving_;
    moving_ = &input;
    input.slider->setValue(value);
    moving_ = outer;
}

void ControllerMapper::sliderMovedElsewhere(SliderModel* slider) {
    for (const auto& input : inputs_)
        if (input->slider == slider && input.get() != moving_) input->takeover.release();
}

void ControllerMapper::refresh(Light& light) {
    bool lit = false;
    if (light.display)
        lit = light.display->lamp(light.lamp);
    else if (light.button)
        lit = light.button->isLit();
    if (light.known && lit == light.lit) return;
    light.known = true;
    light.lit = lit;
    send(light, lit);
}

void ControllerMapper::send(const Light& light, bool lit) {
    if (!sink_) return;
    const int kind = light.binding.message == MessageKind::Note ? kNoteOn : kControlChange;
    sink_({static_cast<std::uint8_t>(kind | light.binding.channel),
           static_cast<std::uint8_t>(light.binding.number),
           static_cast<std::uint8_t>(lit ? 127 : 0)});
}

}  // namespace kelvra::controllers
