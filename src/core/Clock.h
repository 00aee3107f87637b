// The one source of time and timers for the program's logic. Production code gets a Qt-backed
// clock; tests and offline rendering get a virtual clock that only moves when told to.
// Thread: UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace kelvra {

// A repeating timer in the style of a window timer: it ticks every interval while enabled.
// Enabling it or changing its interval starts the count afresh; enabling a timer that already
// runs changes nothing.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void setOnTick(std::function<void()> onTick) = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary, fixed origin; never goes backwards.
    virtual std::int64_t nowMs() const = 0;
    // A new timer, disabled, interval 0.
    virtual std::unique_ptr<Timer> createTimer() = 0;
};

// Timers driven by the Qt event loop.
std::unique_ptr<Clock> makeQtClock();

}  // namespace kelvra
