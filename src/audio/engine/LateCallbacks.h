// Tells from a device callback's stream times whether its period came later than its deadline.
// A device's own underflow flag stayed at 0-1 while the device got a fraction of real time, so
// the times themselves are checked: a period is late when the callback runs after the moment its
// audio was due at the output, or when the output time jumps past where the last period ended
// (periods the device skipped). The first half second of a stream is not judged: the sound
// server fills its buffer then and its clock settles, before anything the DJ plays is heard.
// Audio thread only; no allocation, no locks.
#pragma once

namespace kelvra::audio::engine {

class LateCallbacks {
  public:
    // `now` and `due` are the callback's current time and the output time of its first frame, in
    // seconds of the stream's clock (0 when the host does not give them).
    bool late(double now, double due, unsigned long frames, int rate) {
        if (rate <= 0 || due <= 0) return false;
        const double period = double(frames) / rate;
        if (settling_ < rate / 2) {
            settling_ += long(frames);
            expected_ = due + period;
            return false;
        }
        const bool afterDeadline = now > 0 && now > due;
        // A quarter of a period of slack absorbs clock jitter between callbacks.
        const bool skipped = expected_ > 0 && due > expected_ + period / 4;
        expected_ = due + period;
        return afterDeadline || skipped;
    }

  private:
    double expected_ = 0;  // output time where the previous period ended
    long settling_ = 0;    // frames seen while the stream settles
};

}  // namespace kelvra::audio::engine
