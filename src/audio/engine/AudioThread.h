// Which kind of thread is running the mix, so debug builds can catch real-time code running
// elsewhere and blocking code running on the audio thread. A device's callback (or the null
// output's thread) is the audio thread proper: nothing there may wait. The offline renderer mixes
// on the controlling thread and may wait for the decoder.
// Threads: any; each thread has its own role.
#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>

#include "audio/engine/Denormals.h"

namespace kelvra::audio::engine {

enum class ThreadRole { Control, Device, Offline };

ThreadRole threadRole();

// Gives the current thread `role` for the scope's lifetime.
class ThreadRoleScope {
  public:
    explicit ThreadRoleScope(ThreadRole role);
    ~ThreadRoleScope();
    ThreadRoleScope(const ThreadRoleScope&) = delete;
    ThreadRoleScope& operator=(const ThreadRoleScope&) = delete;

  private:
    ThreadRole previous_;
};

// What every real-time callback opens first (a device's, the null output's thread, the offline
// render): the thread's role for the checks above, and subnormal numbers flushed to zero so a
// decaying filter never costs more than a loud one. Both are undone when the scope ends, so the
// controlling thread that renders offline gets its own floating-point mode back.
class MixingScope {
  public:
    explicit MixingScope(ThreadRole role) : role_(role) {}

  private:
    ThreadRoleScope role_;
    DenormalGuard denormals_;
};

// What crosses to the audio thread as single values must never take a lock there.
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);

}  // namespace kelvra::audio::engine

// Mixing code: runs only where the mix is made (a device or the offline renderer).
#define KELVRA_ASSERT_MIXING() \
    assert(::kelvra::audio::engine::threadRole() != ::kelvra::audio::engine::ThreadRole::Control)
// Code that may wait (locks, sleeps, allocation, files): never on a device's audio thread.
#define KELVRA_ASSERT_MAY_BLOCK() \
    assert(::kelvra::audio::engine::threadRole() != ::kelvra::audio::engine::ThreadRole::Device)
