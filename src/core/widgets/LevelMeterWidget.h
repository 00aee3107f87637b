// A two-bar level meter bound to a LevelMeterModel: the model's second level is the left bar, its
// first level the right bar (top and bottom when horizontal). Lit segments run green, amber and
// red towards full scale, with a peak mark that holds for a moment and then falls. The meter
// moves only when the model changes (the display timer writes it every tick), so it needs no
// timer of its own. Thread: UI thread only.
#pragma once

#include <QWidget>
#include <memory>

#include "core/Clock.h"

#include "core/ControlModels.h"

namespace kelvra::widgets {

class LevelMeterWidget : public QWidget {
    Q_OBJECT
  public:
    LevelMeterWidget(LevelMeterModel& model, Orientation orientation, QWidget* parent = nullptr);

    LevelMeterModel& model() const { return model_; }
    // With a clock the bars fall to nothing within kFallOffMs of the last level written, while
    // the model keeps that level: nothing playing must not look like something playing.
    void setClock(Clock& clock);
    static constexpr int kHoldMs = 100;  // beyond one 80 ms display tick
    static constexpr int kFallOffMs = 300;
    // How many segments of each bar are lit: 0 = left bar, 1 = right bar.
    int litSegments(int bar) const;
    static constexpr int kSegments = 24;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Peak {
        int level = 0;
        int heldFor = 0;  // model updates since the peak was last raised
    };
    void followLevels();
    int levelOf(int bar) const;
    void paintBar(QPainter& painter, QRectF area, int bar) const;

    void fall();

    LevelMeterModel& model_;
    Orientation orientation_;
    Clock* clock_ = nullptr;
    std::unique_ptr<Timer> fallTimer_;
    std::int64_t lastWrite_ = 0;
    double share_ = 1;  // of the model's levels that the bars show
    Peak peaks_[2];
};

}  // namespace kelvra::widgets
