// Where the mix and the headphones go: the sound system, the devices, the period and latency the
// DJ chose in the options window, and what the engine made of it.
#pragma once

#include <string>

namespace kelvra::audio {

enum class OutputBackend : int {
    Default = 0,  // the system's sound server (PulseAudio or PipeWire) through PortAudio
    Jack = 1,     // a JACK server, natively: named ports, the server's rate and period
    Alsa = 2,     // an ALSA hardware device directly, without the sound server
};

enum class PhonesRoute : int {
    Shared = 0,      // one stereo output: the cue on its left channel, the main mix on its right
    Channels34 = 1,  // channels 3 and 4 of the main device (JACK: phones_1/2 to playback 3/4)
    Device = 2,      // a second device of the same back end
};

// Output periods the DJ can choose, in frames.
inline constexpr int kPeriodChoices[] = {64, 128, 256, 512, 1024};
inline constexpr int kDefaultPeriod = 256;
// Output rates the DJ can choose beside the Quality's; index 0 of the list is the Quality's.
inline constexpr int kRateChoices[] = {0, 44100, 48000, 96000};

struct OutputSetup {
    OutputBackend backend = OutputBackend::Default;
    int device = -1;  // the main device's index among the back end's output devices, -1 default
    PhonesRoute phones = PhonesRoute::Shared;
    int phonesDevice = -1;  // for PhonesRoute::Device
    int period = kDefaultPeriod;
    // The output buffer asked for, seconds; the device may give more. 0: the lowest it offers.
    double latency = 0;
    // The output's sample rate; 0: the one the output was first opened with (the Quality).
    int rate = 0;

    bool operator==(const OutputSetup&) const = default;
};

// What is playing now, for the options window.
struct OutputStatus {
    std::string backend;  // "PulseAudio/PipeWire", "JACK", "ALSA", "Null output", "Offline"
    int rate = 0;         // Hz
    int period = 0;       // frames
    double latency = 0;   // seconds from the mixer to the speaker, as the output reports it
    bool phones = false;  // a headphone output of its own is open
};

}  // namespace kelvra::audio
