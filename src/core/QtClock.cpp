#include <QElapsedTimer>
#include <QTimer>

#include "core/Clock.h"

namespace kelvra {
namespace {

class QtTimer final : public Timer {
  public:
    QtTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTick_) onTick_();
        });
    }
    void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override {
        // Enabling a running timer does not restart its count, as with a window timer.
        if (!enabled)
            timer_.stop();
        else if (!timer_.isActive())
            timer_.start();
    }
    bool enabled() const override { return timer_.isActive(); }
    void setOnTick(std::function<void()> onTick) override { onTick_ = std::move(onTick); }

  private:
    QTimer timer_;
    std::function<void()> onTick_;
};

class QtClock final : public Clock {
  public:
    QtClock() { elapsed_.start(); }
    std::int64_t nowMs() const override { return elapsed_.elapsed(); }
    std::unique_ptr<Timer> createTimer() override { return std::make_unique<QtTimer>(); }

  private:
    QElapsedTimer elapsed_;
};

}  // namespace

std::unique_ptr<Clock> makeQtClock() {
    return std::make_unique<QtClock>();
}

}  // namespace kelvra
