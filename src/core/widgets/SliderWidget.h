// A slider drawn in the program's own look and bound to a SliderModel: dragging the thumb writes
// the model's value, a value written by the program moves the thumb. Vertical sliders have their
// minimum at the top. A song dragged from the next-song box and dropped here is reported through
// the model's drop(). Thread: UI thread only.
#pragma once

#include <QWidget>

#include "core/ControlModels.h"

namespace kelvra::widgets {

class SliderWidget : public QWidget {
    Q_OBJECT
  public:
    explicit SliderWidget(SliderModel& model, QWidget* parent = nullptr);

    SliderModel& model() const { return model_; }
    // The thumb's rectangle in widget coordinates (tests and drags use it).
    QRect thumbRect() const;
    // The value a point on the track stands for.
    int valueAt(QPoint point) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool vertical() const { return model_.orientation() == Orientation::Vertical; }
    // The length the thumb's centre can travel, and where it starts.
    int travel() const;
    int travelStart() const;
    int positionOf(int value) const;

    SliderModel& model_;
    bool dragging_ = false;
    int grabOffset_ = 0;  // from the thumb's centre to where it was grabbed
};

}  // namespace kelvra::widgets
