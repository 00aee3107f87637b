#include "app/ui/WaveformStripView.h"

#include <QPainter>
#include <QWheelEvent>

#include "core/Clock.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {
namespace {

constexpr int kFrameMs = 16;  // about the screen's refresh
constexpr int kWheelStep = 120;

}  // namespace

WaveformStripView::WaveformStripView(WaveformStripModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("waveformStrip"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(
        QStringLiteral("Both decks around their play heads: left deck above, right below.\n"
                       "Bright lines are bars, faint ones beats. Mouse wheel: zoom."));
    connect(&model_, &WaveformStripModel::changed, this, [this] {
        setVisible(model_.isVisible());
        animate();
        update();
    });
    setVisible(model_.isVisible());
}

WaveformStripView::~WaveformStripView() = default;

void WaveformStripView::setClock(Clock& clock) {
    clock_ = &clock;
    frameTimer_ = clock.createTimer();
    frameTimer_->setInterval(kFrameMs);
    frameTimer_->setOnTick([this] {
        update();
        animate();
    });
    animate();
}

// Frames run only while a deck moves and the strip can be seen.
void WaveformStripView::animate() {
    if (!frameTimer_) return;
    const bool moving = model_.lane(Side::Left).speed != 0 || model_.lane(Side::Right).speed != 0;
    frameTimer_->setEnabled(moving && model_.isVisible());
}

void WaveformStripView::paintEvent(QPaintEvent*) {
    if (frame_.size() != size()) frame_ = QImage(size(), QImage::Format_RGB32);
    renderWaveformStrip(frame_, model_, clock_ ? clock_->nowMs() : 0);
    QPainter painter(this);
    painter.drawImage(0, 0, frame_);

    // Which lane is which, and the zoom, in small text that stays out of the waveform's middle.
    painter.setFont(widgets::uiFont(10, true));
    const int laneHeight = (height() - 1) / 2;
    const QRect top(6, 2, width() - 12, laneHeight - 4);
    const QRect bottom(6, laneHeight + 3, width() - 12, laneHeight - 4);
    painter.setPen(widgets::kTextDim);
    painter.drawText(top, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("LEFT"));
    painter.drawText(bottom, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("RIGHT"));
    painter.drawText(top, Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("\u00b1%1 s").arg(model_.halfSpanSeconds(), 0, 'f', 1));
    const QRect lanes[2] = {top, bottom};
    for (Side side : {Side::Left, Side::Right})
        if (!model_.lane(side).analysis)
            painter.drawText(lanes[sideIndex(side)], Qt::AlignCenter,
                             QStringLiteral("the waveform shows once the song is analysed"));
}

void WaveformStripView::wheelEvent(QWheelEvent* event) {
    wheelRemainder_ += event->angleDelta().y();
    const int steps = wheelRemainder_ / kWheelStep;
    wheelRemainder_ -= steps * kWheelStep;
    if (steps != 0) model_.zoom(steps);
    event->accept();
}

}  // namespace kelvra::app
