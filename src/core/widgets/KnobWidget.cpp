#include "core/widgets/KnobWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {
namespace {

// The knob turns through 270 degrees, from seven o'clock to five o'clock.
constexpr double kSweepDegrees = 270;
constexpr double kStartDegrees = 225;  // Qt's angles: counter-clockwise from three o'clock

int centreOf(const SliderModel& model) {
    return model.minimum() + (model.maximum() - model.minimum()) / 2;
}

}  // namespace

KnobWidget::KnobWidget(SliderModel& model, QWidget* parent)
    : QWidget(parent), model_(model), arcColour_(kAccent) {
    setToolTip(model.toolTip());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::SizeVerCursor);
    connect(&model_, &SliderModel::changed, this, qOverload<>(&QWidget::update));
}

void KnobWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QRectF ring((width() - side) / 2 + 3, (height() - side) / 2 + 3, side - 6, side - 6);
    const int span = std::max(1, model_.maximum() - model_.minimum());
    const auto angleOf = [&](int value) {
        return kStartDegrees - kSweepDegrees * double(value - model_.minimum()) / span;
    };

    // The track, then the lit arc from the centre (unity, or the filter's off) to the value.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kSurfaceSunken, 4, Qt::SolidLine, Qt::FlatCap));
    painter.drawArc(ring, int(kStartDegrees * 16), int(-kSweepDegrees * 16));
    const double from = angleOf(centreOf(model_)), to = angleOf(model_.value());
    if (model_.value() != centreOf(model_)) {
        painter.setPen(QPen(arcColour_, 4, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(ring, int(from * 16), int((to - from) * 16));
    }

    // The cap with its index line.
    const QRectF cap = ring.adjusted(6, 6, -6, -6);
    QRadialGradient shade(cap.center() - QPointF(cap.width() / 5, cap.height() / 5), cap.width());
    shade.setColorAt(0, QColor(0x5a, 0x65, 0x72));
    shade.setColorAt(1, QColor(0x1e, 0x23, 0x29));
    painter.setPen(QPen(QColor(0x11, 0x14, 0x18), 1));
    painter.setBrush(shade);
    painter.drawEllipse(cap);
    const double radians = to * M_PI / 180;
    const QPointF centre = cap.center();
    const double r = cap.width() / 2;
    painter.setPen(QPen(kText, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + QPointF(std::cos(radians), -std::sin(radians)) * r * 0.25,
                     centre + QPointF(std::cos(radians), -std::sin(radians)) * r * 0.9);
}

void KnobWidget::mousePressEvent(QMouseEvent* event) {
    model_.pressMouse(event->button());
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    grabbed_ = event->position().toPoint();
    grabbedValue_ = model_.value();
}

void KnobWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const QPoint moved = event->position().toPoint() - grabbed_;
    const int pixels = moved.x() - moved.y();  // up and right turn it clockwise
    const int span = model_.maximum() - model_.minimum();
    const int value = grabbedValue_ + int(std::lrint(double(pixels) * span / kPixelsPerRange));
    model_.setValue(std::clamp(value, model_.minimum(), model_.maximum()));
}

void KnobWidget::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void KnobWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) model_.setValue(centreOf(model_));
}

void KnobWidget::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) return;
    model_.setValue(std::clamp(model_.value() + notches * std::max(1, model_.smallChange()),
                               model_.minimum(), model_.maximum()));
    event->accept();
}

}  // namespace kelvra::widgets
