// A list of callbacks that a source calls in the order they were connected: how a unit hears of
// another's events without the source knowing who listens. Thread: the owner's.
#pragma once

#include <functional>
#include <vector>

namespace kelvra {

template <typename... Args>
class Signal {
  public:
    void connect(std::function<void(Args...)> slot) { slots_.push_back(std::move(slot)); }
    void notify(Args... args) const {
        for (const auto& slot : slots_)
            slot(args...);
    }

  private:
    std::vector<std::function<void(Args...)>> slots_;
};

}  // namespace kelvra
