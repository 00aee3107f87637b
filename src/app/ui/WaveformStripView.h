// The view of the waveform strip: draws the model's frame at the screen's pace while a deck
// plays (on the program's clock), zooms with the mouse wheel, and never takes the focus.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "app/WaveformStrip.h"

namespace kelvra {
class Clock;
class Timer;
}  // namespace kelvra

namespace kelvra::app {

class WaveformStripView : public QWidget {
    Q_OBJECT
  public:
    explicit WaveformStripView(WaveformStripModel& model, QWidget* parent = nullptr);
    ~WaveformStripView() override;

    // Frames are drawn at the clock's time; without a clock, at time 0 (a still picture).
    void setClock(Clock& clock);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void animate();

    WaveformStripModel& model_;
    Clock* clock_ = nullptr;
    std::unique_ptr<Timer> frameTimer_;
    QImage frame_;
    int wheelRemainder_ = 0;
};

}  // namespace kelvra::app
