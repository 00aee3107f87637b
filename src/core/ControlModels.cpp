#include "core/ControlModels.h"

#include <algorithm>

namespace kelvra {

SliderModel::SliderModel(int minimum, int maximum, int value, Orientation orientation,
                         QObject* parent)
    : QObject(parent),
      minimum_(minimum),
      maximum_(maximum),
      value_(std::clamp(value, minimum, maximum)),
      orientation_(orientation) {}

void SliderModel::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    emit changed(value_);
}

void SliderModel::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    emit rangeChanged();
    setValue(value_);
}

void LevelMeterModel::setFirstLevel(int level) {
    emit written();
    if (level == first_) return;
    first_ = level;
    emit changed();
}

void LevelMeterModel::setSecondLevel(int level) {
    emit written();
    if (level == second_) return;
    second_ = level;
    emit changed();
}

void ButtonModel::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    emit changed();
}

void ButtonModel::setToolTip(const QString& toolTip) {
    if (toolTip == toolTip_) return;
    toolTip_ = toolTip;
    emit changed();
}

void ButtonModel::setBackColour(int colour) {
    if (colour == backColour_) return;
    backColour_ = colour;
    emit changed();
}

void ButtonModel::setLit(bool lit, int litColour, int unlitColour) {
    const int colour = lit ? litColour : unlitColour;
    if (lit == lit_ && colour == backColour_) return;
    lit_ = lit;
    backColour_ = colour;
    emit changed();
}

void ButtonModel::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    emit changed();
}

void ButtonModel::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    emit changed();
}

void DeckDisplayModel::setPositionBar(int percent) {
    set(positionBar_, std::clamp(percent, 0, 100));
}

void DeckDisplayModel::setLamp(Lamp lamp, bool on) {
    set(lamps_[lamp], on);
}

void ChoiceModel::setItemEnabled(int index, bool enabled) {
    if (enabled == isItemEnabled(index)) return;
    if (enabled)
        disabled_.removeAll(index);
    else
        disabled_ << index;
    emit changed();
}

void ChoiceModel::clear() {
    items_.clear();
    disabled_.clear();
    current_ = -1;
    emit changed();
}

void ChoiceModel::addItem(const QString& item) {
    items_ << item;
    emit changed();
}

void ChoiceModel::setCurrentIndex(int index) {
    if (index < -1 || index >= items_.size()) index = -1;
    if (index == current_) return;
    current_ = index;
    emit changed();
}

void ChoiceModel::choose(int index) {
    setCurrentIndex(index);
    emit chosen(current_);
}

void TextModel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    emit changed();
}

void CheckModel::setValue(int value) {
    if (value == value_) return;
    value_ = value;
    emit changed();
}

}  // namespace kelvra
