// A song's musical key from a chromagram: the song heard at about 11 kHz, a spectrum every
// 0.37 s, each semitone from A1 to A6 taking its strongest bin less the overtones of the notes
// below, folded into twelve pitch classes over the whole song and matched against a major and a
// minor key profile in all twelve keys.
#pragma once

#include <array>
#include <memory>

#include "audio/analysis/KeyNames.h"

namespace kelvra::audio::analysis {

class KeyFinder {
  public:
    explicit KeyFinder(int rate);
    ~KeyFinder();
    KeyFinder(const KeyFinder&) = delete;
    KeyFinder& operator=(const KeyFinder&) = delete;

    // Mono samples in -1..1, in song order.
    void push(const float* mono, int count);
    int finish();
    // The pitch-class profile heard so far, overtones taken out (tests look at it).
    const std::array<double, 12>& chroma() const { return chroma_; }

  private:
    void spectrum();

    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::array<double, 12> chroma_{};
    std::array<double, 12> heard_{};  // raw bins, overtones in, hard compressed: is there pitch?
};

// Whether any pitch stands out of a profile with the overtones left in: noise and drums spread
// evenly over the twelve classes.
bool pitchStandsOut(const std::array<double, 12>& heard);
// The best key for a pitch-class profile, kNoKey where none matches.
int keyOfChroma(const std::array<double, 12>& chroma);

}  // namespace kelvra::audio::analysis
