// Tempo and first beat of a song as a constant-tempo grid. The tempo is read from the spectrum of
// an onset envelope (the rise of the log spectrum below 5.5 kHz, so an MP3 and its source hear
// the same attacks) in 16-second windows: each window's local tempo shows whether the beat holds,
// wanders, or changes from one steady stretch to another. A fine onset envelope (1.5 ms steps)
// then fits the grid to the attacks of the song's longest steady stretch.
#pragma once

#include <memory>
#include <vector>

namespace kelvra::audio::analysis {

struct BeatGrid {
    double bpm = 0;  // 0: no steady beat
    double firstBeatSeconds = 0;
    // The song has steady stretches at different tempi; the grid is its longest stretch's.
    bool tempoChanges = false;
};

class BeatTracker {
  public:
    explicit BeatTracker(int rate);
    ~BeatTracker();
    BeatTracker(const BeatTracker&) = delete;
    BeatTracker& operator=(const BeatTracker&) = delete;

    // Mono samples in -1..1, in song order.
    void push(const float* mono, int count);
    BeatGrid finish();

  private:
    struct Fit {
        double origin = 0;  // time of grid beat 0, seconds
        double period = 0;  // seconds
        int points = 0;
    };
    // A stretch of analysis windows whose local tempo holds.
    struct Stretch {
        int first = 0, last = -1;  // windows, inclusive
        double bpm = 0;
        int size() const { return last - first + 1; }
    };
    void spectrumFrame();
    double envelopeAt(double seconds, double window, double* where = nullptr) const;
    Fit refit(Fit fit) const;
    Fit combSearch(double period, double spread, int steps) const;
    double firstBeat(const Fit& fit) const;

    int rate_;
    struct Spectrum;
    std::unique_ptr<Spectrum> spectrum_;
    // Rise of the log spectrum per hop: what the tempo is read from.
    std::vector<float> flux_;
    double fluxRate_ = 0;  // flux values per second
    // Energy rise per fine block: where attacks are.
    std::vector<float> onset_;
    double blockEnergy_ = 0;
    double previousEnergy_ = 0;
    int blockFill_ = 0;
    // The part of the song the grid is fitted to, seconds.
    double fitFrom_ = 0, fitTo_ = 0;
};

}  // namespace kelvra::audio::analysis
