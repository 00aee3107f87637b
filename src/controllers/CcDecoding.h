// How a cc's values become movement: encoder steps in both relative forms, 14-bit pairs, and
// the soft takeover that keeps a hardware fader from yanking a control it no longer matches.
// Plain objects over plain numbers; the mapper owns one of each per binding. UI thread (they are
// not shared).
#pragma once

#include <optional>

#include "controllers/MidiMapping.h"

namespace kelvra::controllers {

// The steps an encoder's value stands for: two's complement (1..63 forward, 127..65 as -1..-63,
// 64 as -64) or offset 64 (64 is no move, 65 one forward, 63 one back). Absolute and 14-bit
// values are not steps: 0. `invert` turns the other way.
int relativeSteps(CcMode mode, int value, Direction direction);

// Pairs a 14-bit fader's MSB and LSB into 0..16383.
//
// An MSB is held until its LSB arrives, so a fader moved slowly across an MSB boundary never
// shows the new MSB with the old LSB (a jump of a whole MSB step, back and forth). An LSB alone
// pairs with the last MSB, for controllers that send only what changed. A controller that sends
// no LSB at all shows itself by two MSBs in a row: from then on each MSB counts at once, spread
// over the full range (MSB in both halves, so 127 still reaches the top), until an LSB comes.
class FourteenBitPair {
  public:
    // Each returns the fader's new position, or nothing while it waits for the other half.
    std::optional<int> msb(int value);
    std::optional<int> lsb(int value);

  private:
    std::optional<int> msb_;
    bool msbPending_ = false;
    bool msbOnly_ = false;
};

// Soft takeover for one hardware fader over one control. Positions are shares 0..1 of travel.
//
// Once released (a mapping just loaded, or the control moved by the mouse, the keys, a script or
// the program), the fader does nothing until it picks the control up: its last two positions lie
// either side of the control's (it crossed it between two messages), or it comes within
// kTolerance of it. From then on it follows until released again.
class SoftTakeover {
  public:
    // Two percent of travel: above one 7-bit step (0.8%) so a fader parked on the control's value
    // takes it at once, and small enough that the pick-up itself is no audible jump.
    static constexpr double kTolerance = 0.02;

    void release() { engaged_ = false; }
    bool engaged() const { return engaged_; }
    // The fader is at `hardware`, the control at `control`: whether the fader moves it now.
    bool follows(double hardware, double control);

  private:
    bool engaged_ = false;
    std::optional<double> last_;
};

}  // namespace kelvra::controllers
