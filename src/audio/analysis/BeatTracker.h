// Tempo and first beat of a song as a constant-tempo grid. aubio's beat tracker finds the beats
// roughly; a fine onset envelope (1.5 ms steps) then fits the grid to the attacks themselves.
#pragma once

#include <memory>
#include <vector>

namespace kelvra::audio::analysis {

struct BeatGrid {
    double bpm = 0;  // 0: no steady beat
    double firstBeatSeconds = 0;
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
    double envelopeAt(double seconds, double window, double* where = nullptr) const;
    double strengthSum(double origin, double period) const;
    Fit refit(Fit fit) const;
    bool splits(const Fit& fit, int parts, double share) const;
    Fit combSearch(double period, double spread, int steps) const;
    double firstBeat(const Fit& fit) const;

    int rate_;
    struct Aubio;
    std::unique_ptr<Aubio> aubio_;
    std::vector<double> aubioBeats_;
    // Energy rise per fine block: where attacks are.
    std::vector<float> onset_;
    double blockEnergy_ = 0;
    double previousEnergy_ = 0;
    int blockFill_ = 0;
    double background_ = 0;  // strength (as an amplitude) of a grid point without an attack
};

}  // namespace kelvra::audio::analysis
