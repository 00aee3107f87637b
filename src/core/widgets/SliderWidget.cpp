#include "core/widgets/SliderWidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

namespace {
constexpr int kThumbLength = 26;  // along the track
constexpr int kMargin = 4;
}  // namespace

SliderWidget::SliderWidget(SliderModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setToolTip(model.toolTip());
    setAcceptDrops(true);
    // The mixer panel keeps the keyboard focus; a slider never takes it.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(&model_, &SliderModel::changed, this, qOverload<>(&QWidget::update));
    connect(&model_, &SliderModel::rangeChanged, this, qOverload<>(&QWidget::update));
}

QSize SliderWidget::sizeHint() const {
    return vertical() ? QSize(44, 200) : QSize(200, 40);
}

int SliderWidget::travelStart() const {
    return kMargin + kThumbLength / 2;
}

int SliderWidget::travel() const {
    const int length = vertical() ? height() : width();
    return std::max(1, length - 2 * kMargin - kThumbLength);
}

int SliderWidget::positionOf(int value) const {
    const int span = std::max(1, model_.maximum() - model_.minimum());
    const double share = double(value - model_.minimum()) / span;
    return travelStart() + int(std::lrint(share * travel()));
}

int SliderWidget::valueAt(QPoint point) const {
    const int along = vertical() ? point.y() : point.x();
    const double share = std::clamp(double(along - travelStart()) / travel(), 0.0, 1.0);
    const int span = model_.maximum() - model_.minimum();
    return model_.minimum() + int(std::lrint(share * span));
}

QRect SliderWidget::thumbRect() const {
    const int centre = positionOf(model_.value());
    if (vertical()) return QRect(2, centre - kThumbLength / 2, width() - 4, kThumbLength);
    return QRect(centre - kThumbLength / 2, 2, kThumbLength, height() - 4);
}

void SliderWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Ticks on both sides of the groove, the centre tick brighter (pitch zero, fader middle).
    const int span = model_.maximum() - model_.minimum();
    if (model_.tickSpacing() > 0 && span > 0) {
        const int mid = model_.minimum() + span / 2;
        for (int v = model_.minimum(); v <= model_.maximum(); v += model_.tickSpacing()) {
            const int p = positionOf(v);
            const bool centre = v == mid;
            painter.setPen(QPen(centre ? kTextDim : kEdge, centre ? 2 : 1));
            if (vertical()) {
                const int w = width();
                painter.drawLine(QPointF(3, p), QPointF(w / 2 - 6, p));
                painter.drawLine(QPointF(w / 2 + 6, p), QPointF(w - 3, p));
            } else {
                const int h = height();
                painter.drawLine(QPointF(p, 3), QPointF(p, h / 2 - 6));
                painter.drawLine(QPointF(p, h / 2 + 6), QPointF(p, h - 3));
            }
        }
    }

    // The groove.
    QRectF groove = vertical() ? QRectF(width() / 2.0 - 3, travelStart(), 6, travel())
                               : QRectF(travelStart(), height() / 2.0 - 3, travel(), 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSurfaceSunken);
    painter.drawRoundedRect(groove.adjusted(-1, -1, 1, 1), 4, 4);
    painter.setBrush(QColor(0x05, 0x07, 0x09));
    painter.drawRoundedRect(groove, 3, 3);

    // The thumb: a fader cap with a bright index line across it.
    const QRectF thumb = thumbRect();
    QLinearGradient shade(thumb.topLeft(), vertical() ? thumb.bottomLeft() : thumb.topRight());
    shade.setColorAt(0, QColor(0x5a, 0x65, 0x72));
    shade.setColorAt(0.5, QColor(0x3a, 0x43, 0x4e));
    shade.setColorAt(1, QColor(0x26, 0x2c, 0x33));
    painter.setBrush(shade);
    painter.setPen(QPen(QColor(0x11, 0x14, 0x18), 1));
    painter.drawRoundedRect(thumb.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.setPen(QPen(kAccent, 2));
    if (vertical())
        painter.drawLine(QPointF(thumb.left() + 3, thumb.center().y()),
                         QPointF(thumb.right() - 3, thumb.center().y()));
    else
        painter.drawLine(QPointF(thumb.center().x(), thumb.top() + 3),
                         QPointF(thumb.center().x(), thumb.bottom() - 3));
}

void SliderWidget::mousePressEvent(QMouseEvent* event) {
    model_.pressMouse(event->button());
    if (event->button() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    const QRect thumb = thumbRect();
    if (thumb.contains(point)) {
        dragging_ = true;
        grabOffset_ = vertical() ? point.y() - thumb.center().y() : point.x() - thumb.center().x();
        return;
    }
    // A press beside the thumb steps towards it by the large change, as a trackbar does, so a
    // stray click never jumps the pitch or the crossfader across the range.
    const int target = valueAt(point);
    const int step = std::max(1, model_.largeChange());
    const int current = model_.value();
    if (target > current)
        model_.setValue(std::min(target, current + step));
    else if (target < current)
        model_.setValue(std::max(target, current - step));
}

void SliderWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    QPoint point = event->position().toPoint();
    if (vertical())
        point.ry() -= grabOffset_;
    else
        point.rx() -= grabOffset_;
    model_.setValue(valueAt(point));
}

void SliderWidget::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void SliderWidget::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) return;
    // Wheel up moves the thumb up on a vertical slider (towards the minimum) and right on a
    // horizontal one.
    const int direction = vertical() ? -notches : notches;
    model_.setValue(model_.value() + direction * std::max(1, model_.smallChange()));
    event->accept();
}

void SliderWidget::dragEnterEvent(QDragEnterEvent* event) {
    // Any drag is taken: the deck's drop handler decides whether a next-song drag is running.
    event->acceptProposedAction();
}

void SliderWidget::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    model_.drop();
}

}  // namespace kelvra::widgets
