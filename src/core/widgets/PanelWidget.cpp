#include "core/widgets/PanelWidget.h"

#include <QPainter>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

PanelWidget::PanelWidget(QWidget* parent) : QWidget(parent) {}

void PanelWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, kSurface.lighter(112));
    shade.setColorAt(1, kSurface);
    painter.setBrush(shade);
    painter.setPen(QPen(kEdge, 1));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

}  // namespace kelvra::widgets
