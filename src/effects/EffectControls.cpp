#include "effects/EffectControls.h"

namespace kelvra::effects {

namespace {

// The assign buttons' name endings, aliases and captions, by bus.
constexpr const char* kBusNames[kBusCount][3] = {{"L", "left", "the left deck"},
                                                 {"R", "right", "the right deck"},
                                                 {"Master", "main", "the main mix"},
                                                 {"Phones", "phones", "the headphones"}};

}  // namespace

EffectControls::EffectControls() : show("FX", "Show or hide the effect units") {
    for (UnitControls& unit : units) {
        unit.on.setCaption(QStringLiteral("ON"));
        unit.cutTails.setCaption(QStringLiteral("CUT"));
        unit.cutTails.setToolTip(
            QStringLiteral("Switched off, cut echoes and reverbs at once instead of letting "
                           "them ring out"));
        const char* captions[kBusCount] = {"L", "R", "M", "H"};
        for (int b = 0; b < kBusCount; ++b) {
            unit.assign[std::size_t(b)].setCaption(QLatin1String(captions[b]));
            unit.assign[std::size_t(b)].setToolTip(QStringLiteral("Put the unit on ") +
                                                   QLatin1String(kBusNames[b][2]));
        }
        unit.mix.setToolTip(QStringLiteral("Dry/wet"));
        unit.super.setToolTip(QStringLiteral("Super knob: moves every slot's chosen parameter"));
        for (SlotControls& slot : unit.slotControls) {
            slot.next.setCaption(QStringLiteral(">"));
            slot.previous.setCaption(QStringLiteral("<"));
            slot.effect.setText(QStringLiteral("none"));
        }
    }
}

void EffectControls::registerControls(ControlRegistry& registry) {
    for (int u = 0; u < kUnitCount; ++u) {
        UnitControls& unit = units[std::size_t(u)];
        const QString name = QStringLiteral("fx%1").arg(u + 1);
        const QString alias = QStringLiteral("fx%1.").arg(u + 1);
        const QString caption = QStringLiteral("Effect unit %1: ").arg(u + 1);
        auto add = [&](const QString& ending, const QString& aliasEnding, const QString& words,
                       ButtonModel* button, SliderModel* slider = nullptr) {
            RegisteredControl control;
            control.name = name + ending;
            control.alias = alias + aliasEnding;
            control.caption = caption + words;
            control.button = button;
            control.slider = slider;
            registry.add(std::move(control));
        };
        add("On", "on", "On", &unit.on);
        add("Mix", "mix", "Dry/wet", nullptr, &unit.mix);
        add("Super", "super", "Super knob", nullptr, &unit.super);
        add("CutTails", "cut_tails", "Cut tails", &unit.cutTails);
        for (int b = 0; b < kBusCount; ++b)
            add(QStringLiteral("Assign") + QLatin1String(kBusNames[b][0]),
                QStringLiteral("assign.") + QLatin1String(kBusNames[b][1]),
                QStringLiteral("On ") + QLatin1String(kBusNames[b][2]),
                &unit.assign[std::size_t(b)]);
        for (int s = 0; s < kSlotCount; ++s) {
            SlotControls& slot = unit.slotControls[std::size_t(s)];
            const QString slotName = QStringLiteral("Slot%1").arg(s + 1);
            const QString slotAlias = QStringLiteral("slot%1.").arg(s + 1);
            const QString slotWords = QStringLiteral("Slot %1 ").arg(s + 1);
            add(slotName + "On", slotAlias + "on", slotWords + "on", &slot.on);
            add(slotName + "Next", slotAlias + "next", slotWords + "next effect", &slot.next);
            add(slotName + "Prev", slotAlias + "previous", slotWords + "previous effect",
                &slot.previous);
            for (int k = 0; k < kKnobsPerSlot; ++k)
                add(slotName + QStringLiteral("Param%1").arg(k + 1),
                    slotAlias + QStringLiteral("param%1").arg(k + 1),
                    slotWords + QStringLiteral("parameter %1").arg(k + 1), nullptr,
                    &slot.knobs[std::size_t(k)]);
        }
    }
    RegisteredControl control;
    control.name = QStringLiteral("fxShow");
    control.alias = QStringLiteral("fx.show");
    control.caption = QStringLiteral("Show the effect units");
    control.button = &show;
    registry.add(std::move(control));
}

}  // namespace kelvra::effects
