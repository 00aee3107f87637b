// One effect on one stereo bus: what it is called, what it can be set to, and how it processes a
// period. The effect units (the rack) run chains of these on the decks, the main mix and the
// headphones; the built-ins and the LV2 plugins are both effects of this one shape.
// Threads: describe() and prepare() on the controlling thread, before the effect is handed to
// the audio thread; setParam(), process() and reset() on the mixer's consumer only, where they
// never block, allocate or touch files. The effect is freed off the audio thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelvra::audio::fx {

// One parameter, in its own units.
struct ParamInfo {
    enum class Kind {
        Continuous,  // any value in min..max
        Beats,       // a time in beats: the knob steps through kBeatSteps, a script may set any
        Integer,     // whole numbers (bits, steps)
        Toggle,      // 0 or 1
    };
    std::string symbol;  // the name a script and a mapping use: "time", "feedback"
    std::string name;    // the caption: "Time", "Feedback"
    std::string unit;  // "beats", "dB", "Hz", "ms", "%" (a range within 0..1 is a share), or empty
    float min = 0, max = 1, value = 0;  // `value` is the default
    Kind kind = Kind::Continuous;
    bool logarithmic = false;  // the knob moves evenly in ratio (frequencies, times)
};

// The times a beat-synced knob steps through, in beats.
inline constexpr float kBeatSteps[] = {1.0f / 32, 1.0f / 16, 1.0f / 8, 1.0f / 4, 1.0f / 3,
                                       1.0f / 2,  2.0f / 3,  3.0f / 4, 1,        1.5f,
                                       2,         3,         4,        8,        16};

struct EffectInfo {
    std::string id;    // "echo", or "lv2:" and the plugin's URI
    std::string name;  // what the list shows
    std::vector<ParamInfo> params;
    int superParam = -1;  // the parameter the unit's super knob moves, or -1
    // Echo and reverb keep sounding after their input stops: switched off, they ring out while
    // no new sound enters. Others are cut (a brake's slowed history must not play on).
    bool tail = false;
    bool usable = true;
    std::string whyNotUsable;  // when not usable, in words
};

// What an effect needs to know of the bus it runs on, each period.
struct ProcessContext {
    int rate = 44100;
    // The length of one beat at the bus's tempo now, pitch included; 0.5 s (120 BPM) when the
    // bus has no steady beat.
    double beatSeconds = 0.5;
};

class Effect {
  public:
    virtual ~Effect() = default;
    virtual const EffectInfo& info() const = 0;
    // Allocates everything the effect will need at this rate for periods of up to `maxFrames`.
    virtual void prepare(int rate, int maxFrames) = 0;
    // Sets parameter `index` of info().params, in its own units, already within its range. The
    // effect glides to it where a jump would click.
    virtual void setParam(int index, float value) = 0;
    // Processes `frames` interleaved stereo frames in place. The output is the signal as heard
    // through the effect (an echo's output holds the input and its repeats); the unit blends it
    // with the dry signal.
    virtual void process(float* stereo, int frames, const ProcessContext& context) = 0;
    // Forgets every sound held (delay lines, envelopes) as if just prepared.
    virtual void reset() = 0;
};

}  // namespace kelvra::audio::fx
