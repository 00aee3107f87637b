#include "app/ui/SplashView.h"

#include <QConicalGradient>
#include <QLabel>
#include <QPainter>
#include <QRadialGradient>
#include <QScreen>

#include "core/Version.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {

using namespace kelvra::widgets;

namespace {
constexpr int kWidth = 560;
constexpr int kHeight = 320;

QLabel* boundLabel(TextModel& model, const char* name, int pixels, QWidget* parent) {
    auto* label = new QLabel(model.text(), parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(uiFont(pixels, true));
    label->setStyleSheet(QStringLiteral("color: #cfd8e0; background: transparent;"));
    QObject::connect(&model, &TextModel::changed, label,
                     [label, &model] { label->setText(model.text()); });
    return label;
}
}  // namespace

SplashView::SplashView(SplashControls& controls, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("loadingF"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::WaitCursor);
    boundLabel(controls.version, "ver_label", 13, this)->setGeometry(28, 206, 300, 20);
    QLabel* loading = boundLabel(controls.loading, "loadingLABEL", 14, this);
    loading->setGeometry(28, kHeight - 44, kWidth - 56, 22);
    loading->setStyleSheet(QStringLiteral("color: #00ff00; background: transparent;"));
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.left() + (area.width() - kWidth) / 2, area.top() + (area.height() - kHeight) / 2);
    }
}

void SplashView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(0x07, 0x09, 0x0b));

    // A record half off the right edge, lit from its label by a green glow.
    const QPointF centre(kWidth - 60, kHeight / 2.0);
    QRadialGradient glow(centre, 260);
    glow.setColorAt(0, QColor(0x00, 0x80, 0x00, 120));
    glow.setColorAt(0.45, QColor(0x00, 0x40, 0x10, 50));
    glow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillRect(rect(), glow);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x0c, 0x0e, 0x11));
    painter.drawEllipse(centre, 210, 210);
    painter.setBrush(Qt::NoBrush);
    for (int r = 70; r < 208; r += 7) {
        painter.setPen(QPen(QColor(0x1c, 0x22, 0x28, r % 2 ? 255 : 150), 1));
        painter.drawEllipse(centre, r, r);
    }
    // A sheen across the grooves, as a lamp above the turntable would leave.
    QConicalGradient sheen(centre, 35);
    sheen.setColorAt(0, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.06, QColor(255, 255, 255, 22));
    sheen.setColorAt(0.12, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.56, QColor(255, 255, 255, 22));
    sheen.setColorAt(0.62, QColor(255, 255, 255, 0));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sheen);
    painter.drawEllipse(centre, 208, 208);
    QRadialGradient label(centre, 58);
    label.setColorAt(0, QColor(0x0c, 0x6e, 0x22));
    label.setColorAt(1, QColor(0x04, 0x38, 0x10));
    painter.setBrush(label);
    painter.setPen(QPen(kAccent, 1.5));
    painter.drawEllipse(centre, 58, 58);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(centre, 5, 5);

    // The product name, large: its first word as the mark, the rest beneath it.
    const QString product = QString::fromUtf8(kProductName);
    const int dash = product.indexOf(QStringLiteral(" - "));
    const QString mark = dash > 0 ? product.left(dash) : product;
    const QString tagline = dash > 0 ? product.mid(dash + 3) : QString();
    painter.setPen(QColor(0xf2, 0xf5, 0xf8));
    painter.setFont(uiFont(76, true));
    painter.drawText(QRect(24, 46, 400, 100), Qt::AlignLeft | Qt::AlignVCenter, mark);
    painter.setPen(QColor(0x00, 0xff, 0x00));
    painter.setFont(uiFont(24, true));
    painter.drawText(QRect(30, 146, 420, 40), Qt::AlignLeft | Qt::AlignVCenter, tagline);

    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace kelvra::app
