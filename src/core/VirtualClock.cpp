#include "core/VirtualClock.h"

#include <algorithm>
#include <limits>

namespace kelvra {

class VirtualClock::VirtualTimer final : public Timer {
  public:
    VirtualTimer(VirtualClock& clock, std::uint64_t serial) : clock_(&clock), serial_(serial) {
        clock_->timers_.push_back(this);
    }
    ~VirtualTimer() override {
        if (clock_) std::erase(clock_->timers_, this);
    }

    void setInterval(int milliseconds) override {
        interval_ = std::max(0, milliseconds);
        restart();
    }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override {
        // Enabling a running timer does not restart its count, as with a window timer.
        if (enabled && !enabled_) restart();
        enabled_ = enabled;
    }
    bool enabled() const override { return enabled_; }
    void setOnTick(std::function<void()> onTick) override { onTick_ = std::move(onTick); }

    void restart() {
        if (clock_) due_ = clock_->now_ + std::max(1, interval_);
    }

    VirtualClock* clock_;
    std::uint64_t serial_;
    int interval_ = 0;
    bool enabled_ = false;
    std::int64_t due_ = 0;
    std::function<void()> onTick_;
};

VirtualClock::VirtualClock() = default;

VirtualClock::~VirtualClock() {
    // Timers may outlive the clock in a test's teardown order; cut them loose.
    for (VirtualTimer* timer : timers_)
        timer->clock_ = nullptr;
}

std::unique_ptr<Timer> VirtualClock::createTimer() {
    return std::make_unique<VirtualTimer>(*this, nextSerial_++);
}

std::int64_t VirtualClock::nextDue(std::int64_t limit) const {
    for (const VirtualTimer* timer : timers_)
        if (timer->enabled_) limit = std::min(limit, timer->due_);
    return limit;
}

void VirtualClock::advance(std::int64_t milliseconds) {
    const std::int64_t end = now_ + std::max<std::int64_t>(0, milliseconds);
    for (;;) {
        VirtualTimer* next = nullptr;
        for (VirtualTimer* timer : timers_) {
            if (!timer->enabled_ || timer->due_ > end) continue;
            if (!next || timer->due_ < next->due_ ||
                (timer->due_ == next->due_ && timer->serial_ < next->serial_))
                next = timer;
        }
        if (!next) break;
        now_ = next->due_;
        next->due_ = now_ + std::max(1, next->interval_);
        // A tick may disable, re-arm or destroy any timer, including this one: copy the callback.
        auto onTick = next->onTick_;
        if (onTick) onTick();
    }
    now_ = end;
}

}  // namespace kelvra
