#include "core/widgets/LevelMeterWidget.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

namespace {
// The peak mark stays this many display ticks (80 ms each) before it falls.
constexpr int kPeakHoldUpdates = 12;
// Segments from here up are amber, and from kRedFrom up red.
constexpr int kAmberFrom = 16;
constexpr int kRedFrom = 21;

QColor segmentColour(int segment) {
    if (segment >= kRedFrom) return kMeterRed;
    if (segment >= kAmberFrom) return kMeterAmber;
    return kMeterGreen;
}
}  // namespace

LevelMeterWidget::LevelMeterWidget(LevelMeterModel& model, Orientation orientation, QWidget* parent)
    : QWidget(parent), model_(model), orientation_(orientation) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&model_, &LevelMeterModel::changed, this, &LevelMeterWidget::followLevels);
}

void LevelMeterWidget::setClock(Clock& clock) {
    clock_ = &clock;
    lastWrite_ = clock.nowMs();
    fallTimer_ = clock.createTimer();
    fallTimer_->setInterval(20);
    fallTimer_->setOnTick([this] { fall(); });
    connect(&model_, &LevelMeterModel::written, this, [this] {
        lastWrite_ = clock_->nowMs();
        if (share_ != 1) {
            share_ = 1;
            update();
        }
        fallTimer_->setEnabled(true);
    });
    fallTimer_->setEnabled(true);
}

void LevelMeterWidget::fall() {
    const std::int64_t age = clock_->nowMs() - lastWrite_;
    const double share = std::clamp(1.0 - double(age - kHoldMs) / (kFallOffMs - kHoldMs), 0.0, 1.0);
    if (share == share_) {
        if (share == 0) fallTimer_->setEnabled(false);
        return;
    }
    share_ = share;
    if (share_ == 0) peaks_[0] = peaks_[1] = {};
    update();
}

QSize LevelMeterWidget::sizeHint() const {
    return orientation_ == Orientation::Vertical ? QSize(40, 200) : QSize(200, 30);
}

int LevelMeterWidget::levelOf(int bar) const {
    return bar == 0 ? model_.secondLevel() : model_.firstLevel();
}

int LevelMeterWidget::litSegments(int bar) const {
    const int full = std::max(1, model_.fullScale());
    const double share = std::clamp(share_ * levelOf(bar) / full, 0.0, 1.0);
    return int(std::lrint(share * kSegments));
}

void LevelMeterWidget::followLevels() {
    for (int bar = 0; bar < 2; ++bar) {
        Peak& peak = peaks_[bar];
        const int level = levelOf(bar);
        // The model stops notifying once a stopped deck keeps writing zero, so silence clears
        // the mark at once instead of leaving it hanging.
        if (level == 0) {
            peak = {};
        } else if (level >= peak.level) {
            peak = {level, 0};
        } else if (++peak.heldFor > kPeakHoldUpdates) {
            // Fall a twentieth of full scale per tick once the hold is over.
            peak.level = std::max(level, peak.level - model_.fullScale() / 20);
        }
    }
    update();
}

void LevelMeterWidget::paintBar(QPainter& painter, QRectF area, int bar) const {
    const bool vertical = orientation_ == Orientation::Vertical;
    const double length = vertical ? area.height() : area.width();
    const double pitch = length / kSegments;
    const double gap = std::max(1.0, pitch * 0.22);
    const int lit = litSegments(bar);
    const int full = std::max(1, model_.fullScale());
    const int peakSegment = std::clamp(
        int(std::ceil(double(peaks_[bar].level) / full * kSegments)) - 1, -1, kSegments - 1);
    for (int s = 0; s < kSegments; ++s) {
        QRectF cell;
        if (vertical)
            cell = QRectF(area.left(), area.bottom() - (s + 1) * pitch + gap / 2, area.width(),
                          pitch - gap);
        else
            cell =
                QRectF(area.left() + s * pitch + gap / 2, area.top(), pitch - gap, area.height());
        QColor colour = segmentColour(s);
        if (s >= lit && !(s == peakSegment && peakSegment >= lit)) colour = colour.darker(560);
        painter.fillRect(cell, colour);
    }
}

void LevelMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kSurfaceSunken);
    painter.setPen(kEdge);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRectF inner = QRectF(rect()).adjusted(3, 3, -3, -3);
    if (orientation_ == Orientation::Vertical) {
        const double w = (inner.width() - 3) / 2;
        paintBar(painter, QRectF(inner.left(), inner.top(), w, inner.height()), 0);
        paintBar(painter, QRectF(inner.right() - w, inner.top(), w, inner.height()), 1);
    } else {
        const double h = (inner.height() - 3) / 2;
        paintBar(painter, QRectF(inner.left(), inner.top(), inner.width(), h), 0);
        paintBar(painter, QRectF(inner.left(), inner.bottom() - h, inner.width(), h), 1);
    }
}

}  // namespace kelvra::widgets
