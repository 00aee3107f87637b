// The small pieces the main window's panels are built of: a caption in the panels' type, and a
// button bound to its model under the name scripts and mappings find it by. Thread: UI thread.
#pragma once

#include <QLabel>

#include "core/widgets/ButtonWidget.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app::parts {

inline QLabel* label(QWidget* parent, const QString& text, QRect box, int pixels = 13,
                     Qt::Alignment align = Qt::AlignCenter, const char* colour = "#9aa6b2",
                     bool bold = true) {
    auto* widget = new QLabel(text, parent);
    widget->setFont(widgets::uiFont(pixels, bold));
    widget->setAlignment(align);
    widget->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    widget->setGeometry(box);
    return widget;
}

inline widgets::ButtonWidget* button(QWidget* parent, ButtonModel& model, const QString& name,
                                     const QString& face, QRect box, int pixels = 13) {
    auto* widget = new widgets::ButtonWidget(model, parent);
    widget->setObjectName(name);
    widget->setFace(face);
    widget->setFacePixelSize(pixels);
    widget->setGeometry(box);
    return widget;
}

}  // namespace kelvra::app::parts
