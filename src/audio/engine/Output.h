// Where the mix goes: a PortAudio device, a JACK client, or a null output that pulls the same mix
// at real-time pace without a device. (The offline renderer needs no output: it calls the mixer
// directly.) Threads: everything here belongs to the controlling thread; the output's own thread or
// device callback only calls MixBus::process().
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/OutputSetup.h"
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
    // Seconds from the mixer to the speaker, as the device or server reports it.
    virtual double latency() const { return 0; }
    // Frames the mixer renders at a time.
    virtual int period() const { return kDefaultPeriod; }
    // The output carries a headphone mix of its own (channels, ports or a second device).
    virtual bool phones() const { return false; }
    virtual std::string name() const { return {}; }
    int error() const { return error_; }

  protected:
    int error_ = 0;
};

// The period of an output when none is chosen: short enough that volume and pan moves are heard
// at once, long enough for a loaded machine.
inline constexpr int kOutputPeriod = kDefaultPeriod;

// Paced by the clock; with `phones` it renders a headphone mix too (and throws both away).
std::unique_ptr<Output> makeNullOutput(MixBus& mixer, int rate, int period = kOutputPeriod,
                                       bool phones = false);

// PortAudio, for the Default and Alsa back ends. Opens `setup.device` (-1: the default;
// otherwise the index among the back end's output devices, 0-based) with the headphones as the
// setup routes them. Null with `error` set to an ErrorCode on failure.
std::unique_ptr<Output> makePortAudioOutput(MixBus& mixer, const OutputSetup& setup, int rate,
                                            int& error);
inline std::unique_ptr<Output> makePortAudioOutput(MixBus& mixer, int device, int rate,
                                                   int& error) {
    OutputSetup setup;
    setup.device = device;
    return makePortAudioOutput(mixer, setup, rate, error);
}
// JACK: client "kelvra" of the running server, at the server's rate and period, with ports
// master_1/2 and phones_1/2. Null with `error` set when no server runs or the client cannot be
// made.
std::unique_ptr<Output> makeJackOutput(MixBus& mixer, const OutputSetup& setup, int& error);
// The same, saying nothing on standard error when no server is there: for looking again and
// again whether a server that went away has come back.
std::unique_ptr<Output> probeJackOutput(MixBus& mixer, const OutputSetup& setup);
// Names of the back end's output devices, in the order setup.device counts them.
std::vector<std::string> portAudioDeviceNames(OutputBackend backend);
// Name of output device `index` (0-based) of the default back end, or none.
std::optional<std::string> portAudioDeviceName(int index);

}  // namespace kelvra::audio::engine
