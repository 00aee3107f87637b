#include "audio/engine/Denormals.h"

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define KELVRA_DENORMALS_SSE 1
#elif defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__))
#define KELVRA_DENORMALS_ARM64 1
#endif

namespace kelvra::audio::engine {
namespace {

#if KELVRA_DENORMALS_SSE
// MXCSR: flush-to-zero (bit 15) for results, denormals-are-zero (bit 6) for inputs.
constexpr std::uintptr_t kFlushBits = 0x8040;
std::uintptr_t readMode() {
    return _mm_getcsr();
}
void writeMode(std::uintptr_t mode) {
    _mm_setcsr(static_cast<unsigned>(mode));
}
#elif KELVRA_DENORMALS_ARM64
// FPCR: FZ (bit 24) flushes subnormal inputs and results alike.
constexpr std::uintptr_t kFlushBits = std::uintptr_t(1) << 24;
std::uintptr_t readMode() {
    std::uintptr_t fpcr;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    return fpcr;
}
void writeMode(std::uintptr_t mode) {
    asm volatile("msr fpcr, %0" : : "r"(mode));
}
#else
// No switch to reach: the stateful units' flushTiny() is all there is.
constexpr std::uintptr_t kFlushBits = 0;
std::uintptr_t readMode() {
    return 0;
}
void writeMode(std::uintptr_t) {}
#endif

}  // namespace

DenormalGuard::DenormalGuard() : saved_(readMode()) {
    if (kFlushBits != 0) writeMode(saved_ | kFlushBits);
}

DenormalGuard::~DenormalGuard() {
    if (kFlushBits != 0) writeMode(saved_);
}

bool denormalsFlushed() {
    return kFlushBits != 0 && (readMode() & kFlushBits) == kFlushBits;
}

}  // namespace kelvra::audio::engine
