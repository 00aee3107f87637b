// A song's musical key from a chromagram: the song heard at about 11 kHz, a spectrum every
// 0.37 s, each semitone from A1 to A6 taking its strongest bin, folded into twelve pitch classes
// over the whole song and matched against a major and a minor key profile in all twelve keys.
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
    // The pitch-class profile heard so far (tests look at it).
    const std::array<double, 12>& chroma() const { return chroma_; }

  private:
    void spectrum();

    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::array<double, 12> chroma_{};
};

// The best key for a pitch-class profile, and how far ahead of the runner-up it is.
int keyOfChroma(const std::array<double, 12>& chroma);

}  // namespace kelvra::audio::analysis
