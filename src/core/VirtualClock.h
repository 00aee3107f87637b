// A clock that only moves when advance() is called: timers fire in due order, deterministically.
// Used by tests and by offline rendering. Thread: the owner's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/Clock.h"

namespace kelvra {

class VirtualClock final : public Clock {
  public:
    VirtualClock();
    ~VirtualClock() override;

    std::int64_t nowMs() const override { return now_; }
    std::unique_ptr<Timer> createTimer() override;

    // Moves time forward by `milliseconds`, firing every timer that falls due on the way, in
    // time order (timers due at the same moment fire in creation order).
    void advance(std::int64_t milliseconds);
    // When the next enabled timer falls due, or `limit` when none does before it.
    std::int64_t nextDue(std::int64_t limit) const;

  private:
    class VirtualTimer;
    friend class VirtualTimer;
    std::int64_t now_ = 0;
    std::uint64_t nextSerial_ = 0;
    std::vector<VirtualTimer*> timers_;
};

}  // namespace kelvra
