#include "core/widgets/Chrome.h"

#include <QPainter>
#include <QRadialGradient>
#include <QScreen>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) return;
    const QRect area = screen->geometry();
    window.move(area.left() + (area.width() - window.width()) / 2,
                area.top() + (area.height() - window.height()) / 2);
}

QPixmap programIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(0.5, 0.5, size - 1, size - 1);
    painter.setPen(QPen(QColor(0x55, 0x5f, 0x6a), 1));
    painter.setBrush(QColor(0x0a, 0x0c, 0x0e));
    painter.drawEllipse(disc);
    // Grooves.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x2c, 0x33, 0x3b), 1));
    for (double inset = size * 0.12; inset < size * 0.3; inset += size * 0.07)
        painter.drawEllipse(disc.adjusted(inset, inset, -inset, -inset));
    const double label = size * 0.32;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawEllipse(disc.adjusted(label, label, -label, -label));
    painter.setBrush(Qt::black);
    const double hole = size * 0.46;
    painter.drawEllipse(disc.adjusted(hole, hole, -hole, -hole));
    return pixmap;
}

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

TitleBar::TitleBar(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(new QLabel(caption, this)), icon_(new QLabel(this)) {
    caption_->setObjectName(QStringLiteral("titlebar"));
    caption_->setFont(uiFont(14, true));
    caption_->setStyleSheet(QStringLiteral(
        "QLabel#titlebar { color: #e8ecf0; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #2b323b, stop:1 #1a1f25); border-bottom: 1px solid #0b0d10; }"));
    icon_->setObjectName(QStringLiteral("imgIcon"));
    icon_->setPixmap(programIcon(kHeight - 6));
    icon_->setGeometry(5, 3, kHeight - 6, kHeight - 6);
    icon_->raise();
    setFixedHeight(kHeight);
}

void TitleBar::resizeEvent(QResizeEvent*) {
    caption_->setGeometry(0, 0, width(), height());
    icon_->raise();
}

}  // namespace kelvra::widgets
