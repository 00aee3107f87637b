// The small tags `keyboardTXT_0` .. `keyboardTXT_10` that show a control's single-key shortcut;
// their models say whether they show (the keyboard map hides and shows them together).
#pragma once

#include <QPoint>
#include <array>

#include "core/widgets/ButtonWidget.h"

namespace kelvra::app {

inline widgets::ButtonWidget* addShortcutHint(std::array<ButtonModel, 11>& hints, int index,
                                              QPoint topLeft, QWidget* parent) {
    auto* tag = new widgets::ButtonWidget(hints[std::size_t(index)], parent);
    tag->setObjectName(QStringLiteral("keyboardTXT_%1").arg(index));
    tag->setStyle(widgets::ButtonWidget::Style::Hint);
    tag->setFacePixelSize(12);
    tag->setGeometry(topLeft.x(), topLeft.y(), 18, 18);
    tag->raise();
    return tag;
}

}  // namespace kelvra::app
