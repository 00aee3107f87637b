#include "app/ui/EffectsRowView.h"

#include "app/ui/PanelParts.h"
#include "core/widgets/ChoiceWidgets.h"
#include "core/widgets/KnobWidget.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {

using widgets::ButtonWidget;

namespace {

constexpr int kUnitWidth = 296;
constexpr int kHeaderHeight = 46;
constexpr int kSlotHeight = 50;
constexpr int kKnobColumn = 44;
constexpr int kKnobsLeft = kUnitWidth - 4 * kKnobColumn - 4;

// What a unit's knobs sweep, in the colours of the tone strips: the slot's parameters like the
// EQ, the unit's own like the filter.
const QColor kParamArc = widgets::kAccent;
const QColor kUnitArc{0x4f, 0xc3, 0xf7};

// A label that shows a text model as it changes.
QLabel* text(QWidget* parent, TextModel& model, QRect box, int pixels, const char* colour,
             bool bold = true) {
    QLabel* label = parts::label(parent, model.text(), box, pixels, Qt::AlignCenter, colour, bold);
    QObject::connect(&model, &TextModel::changed, label,
                     [label, &model] { label->setText(model.text()); });
    return label;
}

ButtonWidget* button(QWidget* parent, ButtonModel& model, const QString& name, QRect box,
                     int pixels = 10) {
    return parts::button(parent, model, name, model.caption(), box, pixels);
}

// A knob with its caption above and, when it has one, its value below, in one column.
widgets::KnobWidget* knob(QWidget* parent, SliderModel& model, const QString& name, int left,
                          int top, QLabel* above, TextModel* value, QColor arc) {
    above->setGeometry(left - 2, top, kKnobColumn + 4, 11);
    auto* widget = new widgets::KnobWidget(model, parent);
    widget->setObjectName(name);
    widget->setArcColour(arc);
    widget->setGeometry(left + (kKnobColumn - 26) / 2, top + 11, 26, 26);
    if (value) text(parent, *value, {left - 2, top + 37, kKnobColumn + 4, 11}, 9, "#e8ecf0");
    return widget;
}

const QString kComboStyle = QStringLiteral(
    "QComboBox { color: #e8ecf0; background: #0e1114; border: 1px solid #3d4752;"
    " border-radius: 3px; padding: 0 4px; font: bold 10px \"DejaVu Sans\"; }"
    "QComboBox:disabled { color: #5a6572; }"
    "QComboBox QAbstractItemView { color: #e8ecf0; background: #1c2127;"
    " selection-background-color: #008000; font: 11px \"DejaVu Sans\"; }");

void slotRow(QWidget* unit, effects::SlotControls& slot, const QString& name, int number, int top) {
    button(unit, slot.on, name + "On", {8, top + 4, 22, 20}, 10)->setFace(QString::number(number));
    auto* combo = new widgets::ChoiceCombo(slot.choice, unit);
    combo->setObjectName(name + "Effect");
    combo->setStyleSheet(kComboStyle);
    combo->setFocusPolicy(Qt::NoFocus);
    combo->setMaxVisibleItems(24);
    combo->setGeometry(34, top + 4, kKnobsLeft - 38, 20);
    button(unit, slot.previous, name + "Prev", {34, top + 28, 24, 16}, 9);
    button(unit, slot.next, name + "Next", {62, top + 28, 24, 16}, 9);
    for (int k = 0; k < effects::kKnobsPerSlot; ++k) {
        TextModel& caption = slot.knobNames[std::size_t(k)];
        QLabel* above = text(unit, caption, {}, 8, "#9aa6b2", false);
        QWidget* widget = knob(
            unit, slot.knobs[std::size_t(k)], name + QStringLiteral("Param%1").arg(k + 1),
            kKnobsLeft + k * kKnobColumn, top, above, &slot.knobTexts[std::size_t(k)], kParamArc);
        // A knob the slot's effect has no parameter for is not there.
        const auto showKnob = [widget, &caption] { widget->setVisible(!caption.text().isEmpty()); };
        QObject::connect(&caption, &TextModel::changed, widget, showKnob);
        showKnob();
    }
}

void unitContents(QWidget* unit, effects::UnitControls& controls, int number) {
    const QString name = QStringLiteral("fx%1").arg(number);
    parts::label(unit, QStringLiteral("FX %1").arg(number), {8, 6, 44, 18}, 14,
                 Qt::AlignLeft | Qt::AlignVCenter, "#00ff00");
    button(unit, controls.on, name + "On", {52, 5, 40, 20}, 11);
    button(unit, controls.cutTails, name + "CutTails", {96, 5, 36, 20}, 9);
    const char* buses[effects::kBusCount] = {"L", "R", "Master", "Phones"};
    for (int b = 0; b < effects::kBusCount; ++b)
        button(unit, controls.assign[std::size_t(b)], name + "Assign" + buses[b],
               {8 + 31 * b, 28, 28, 16}, 9);
    knob(unit, controls.mix, name + "Mix", kKnobsLeft + 2 * kKnobColumn, 2,
         parts::label(unit, QStringLiteral("MIX"), {}, 9), nullptr, kUnitArc);
    knob(unit, controls.super, name + "Super", kKnobsLeft + 3 * kKnobColumn, 2,
         parts::label(unit, QStringLiteral("SUPER"), {}, 9), nullptr, kUnitArc);
    for (int s = 0; s < effects::kSlotCount; ++s)
        slotRow(unit, controls.slotControls[std::size_t(s)],
                name + QStringLiteral("Slot%1").arg(s + 1), s + 1, kHeaderHeight + s * kSlotHeight);
}

}  // namespace

EffectsRowView::EffectsRowView(effects::EffectControls& controls, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("effectUnits"));
    for (int u = 0; u < effects::kUnitCount; ++u) {
        auto* unit = new widgets::PanelWidget(this);
        unit->setObjectName(QStringLiteral("fx%1Panel").arg(u + 1));
        unit->setFixedSize(kUnitWidth, kHeight);
        unitContents(unit, controls.units[std::size_t(u)], u + 1);
        units_[std::size_t(u)] = unit;
    }
}

void EffectsRowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The units stand side by side, spread evenly over the row's width.
    const int gap =
        std::max(0, (width() - effects::kUnitCount * kUnitWidth) / (effects::kUnitCount - 1));
    for (int u = 0; u < effects::kUnitCount; ++u)
        units_[std::size_t(u)]->move(u * (kUnitWidth + gap), 0);
}

}  // namespace kelvra::app
