// A rotary knob bound to a SliderModel, for the tone controls: drag up or right to turn it
// clockwise (200 pixels sweep the whole range), the wheel steps it, a double click puts it back
// at its centre. The arc is lit from the centre to the value, so a cut, a boost or a filter
// sweep reads at a glance. Thread: UI thread only.
#pragma once

#include <QColor>
#include <QWidget>

#include "core/ControlModels.h"

namespace kelvra::widgets {

class KnobWidget : public QWidget {
    Q_OBJECT
  public:
    explicit KnobWidget(SliderModel& model, QWidget* parent = nullptr);

    SliderModel& model() const { return model_; }
    void setArcColour(QColor colour) { arcColour_ = colour; }
    QSize sizeHint() const override { return {40, 40}; }

    static constexpr int kPixelsPerRange = 200;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    SliderModel& model_;
    QColor arcColour_;
    bool dragging_ = false;
    QPoint grabbed_;
    int grabbedValue_ = 0;
};

}  // namespace kelvra::widgets
