// Where the mix goes: a PortAudio device, a JACK client, or a null output that pulls the same mix
// at real-time pace without a device. (The offline renderer needs no output: it calls the mixer
// directly.) Threads: everything here belongs to the controlling thread; the output's own thread or
// device callback only calls MixBus::process().
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "audio/engine/AudioThread.h"
#include "audio/engine/MixBus.h"

namespace kelvra::audio::engine {

class Output {
  public:
    virtual ~Output() = default;
    virtual bool start() = 0;  // false with the error code in `error()`
    virtual void stop() = 0;   // returns once the mixer is no longer called
    // The rate the mix must run at: an output that follows a sound server says the server's;
    // 0 takes the rate asked for.
    virtual int rate() const { return 0; }
    // The server or device went away for good: nothing will call the mixer any more.
    virtual bool lost() const { return false; }
    int error() const { return error_; }

  protected:
    int error_ = 0;
};

// Output period in frames: short enough that volume and pan moves are heard at once, long
// enough for a loaded machine.
inline constexpr int kOutputPeriod = 256;

std::unique_ptr<Output> makeNullOutput(MixBus& mixer, int rate);

// PortAudio. Opens device `device` (-1: the default; otherwise the index among real output
// devices, 0-based). Null with `error` set to an ErrorCode on failure.
std::unique_ptr<Output> makePortAudioOutput(MixBus& mixer, int device, int rate, int& error);
// JACK (KELVRA_AUDIO=jack): client "kelvra" of the running server, at the server's rate. Null
// with `error` set when no server runs or the client cannot be made.
std::unique_ptr<Output> makeJackOutput(MixBus& mixer, int& error);
// Name of real output device `index` (0-based), or none.
std::optional<std::string> portAudioDeviceName(int index);

}  // namespace kelvra::audio::engine
