#include "core/ControlRegistry.h"

#include <QtGlobal>
#include <algorithm>
#include <utility>

namespace kelvra {
namespace {

// A unit separator cannot appear in a control's name, so "name" and "name 3" never collide.
QString keyOf(const QString& name, int index) {
    return index < 0 ? name : name + QChar(0x1F) + QString::number(index);
}

}  // namespace

ControlType RegisteredControl::type() const {
    if (slider) return ControlType::Slider;
    if (jog) return ControlType::Jog;
    if (text) return ControlType::Text;
    return ControlType::Button;
}

bool RegisteredControl::isOn() const {
    if (lampDisplay) return lampDisplay->lamp(lamp);
    return button && button->isLit();
}

QObject* RegisteredControl::stateSource() const {
    if (lampDisplay) return lampDisplay;
    if (button) return button;
    if (slider) return slider;
    if (jog) return jog;
    return text;
}

QString RegisteredControl::indexedName() const {
    return index < 0 ? name : QStringLiteral("%1 %2").arg(name).arg(index);
}

const RegisteredControl& ControlRegistry::add(RegisteredControl control) {
    controls_.push_back(std::make_unique<RegisteredControl>(std::move(control)));
    const RegisteredControl* added = controls_.back().get();
    for (const auto& [name, index] :
         {std::pair{added->name, added->index}, std::pair{added->alias, added->aliasIndex}}) {
        if (name.isEmpty()) continue;
        const QString key = keyOf(name, index);
        Q_ASSERT_X(!byName_.contains(key), "ControlRegistry::add", qPrintable(key));
        byName_.insert(key, added);
        if (index < 0) continue;
        Group& group = groups_[name];
        if (group.lowest > group.highest) {
            group = {index, index};
        } else {
            group.lowest = std::min(group.lowest, index);
            group.highest = std::max(group.highest, index);
        }
    }
    return *added;
}

const RegisteredControl* ControlRegistry::exact(const QString& name, int index) const {
    return byName_.value(keyOf(name, index), nullptr);
}

ControlRegistry::Lookup ControlRegistry::lookup(const QString& name, int index) const {
    Lookup result;
    const auto group = groups_.constFind(name);
    if (group != groups_.constEnd()) {
        result.lowest = group->lowest;
        result.highest = group->highest;
    }
    if (const RegisteredControl* found = exact(name, index)) {
        result.control = found;
        result.miss = Lookup::Found;
        return result;
    }
    if (group != groups_.constEnd()) {
        result.miss = index < 0 ? Lookup::NeedsIndex : Lookup::IndexOutOfRange;
        return result;
    }
    if (index >= 0) {
        if (const RegisteredControl* alone = exact(name, -1)) {
            result.control = alone;
            result.miss = Lookup::Found;
            result.indexIgnored = true;
        }
    }
    return result;
}

ButtonModel* ControlRegistry::button(const QString& name, int index) const {
    const RegisteredControl* control = exact(name, index);
    return control ? control->button : nullptr;
}

SliderModel* ControlRegistry::slider(const QString& name, int index) const {
    const RegisteredControl* control = exact(name, index);
    return control ? control->slider : nullptr;
}

}  // namespace kelvra
