// Keeps the real-time path out of subnormal numbers. A filter's memory decaying in silence passes
// through values so small that the processor computes them in slow microcode, tens of times
// slower than normal ones: a silent tail after a loud passage would cost more than the passage.
// DenormalGuard makes the current thread flush such values to zero for its scope (the SSE
// flush-to-zero and denormals-are-zero bits, or the ARM flush bit); where the processor offers
// no such switch, the units that hold state flush it themselves with flushTiny() once a block.
// Threads: a guard belongs to the thread that made it; flushTiny() is plain arithmetic.
#pragma once

#include <cmath>
#include <cstdint>

namespace kelvra::audio::engine {

class DenormalGuard {
  public:
    DenormalGuard();
    ~DenormalGuard();
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

  private:
    std::uintptr_t saved_ = 0;
};

// True when this thread flushes subnormal results (and inputs) to zero.
bool denormalsFlushed();

// A state below -500 dB of full scale is silence: set it to zero before it decays into the
// subnormal range. Far above the smallest normal float, so it holds between blocks too.
template <typename T>
inline void flushTiny(T& value) {
    if (std::fabs(value) < T(1e-25)) value = T(0);
}

}  // namespace kelvra::audio::engine
