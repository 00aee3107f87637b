// Drum loops synthesised for the analysis tests: kick on beats 1 and 3, snare on 2 and 4, a hat
// on every eighth note, at any tempo, after an optional silent intro.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/Rounding.h"
#include "support/AudioFixtures.h"

namespace kelvra::audio::testing {

struct DrumLoop {
    double bpm = 120;
    double introSeconds = 0;  // silence before the first kick
    double seconds = 40;      // the whole file
    int rate = 44100;
};

inline void addHit(std::vector<float>& out, std::int64_t at, int rate, int kind,
                   std::mt19937& noise) {
    std::uniform_real_distribution<float> white(-1, 1);
    const int length = rate / 4;
    double phase = 0;
    float previous = 0;
    for (int i = 0; i < length && at + i < std::int64_t(out.size()); ++i) {
        const double t = double(i) / rate;
        float v = 0;
        if (kind == 0) {  // kick: a falling sine
            phase += 2 * std::numbers::pi * (50 + 90 * std::exp(-t / 0.03)) / rate;
            v = float(0.8 * std::sin(phase) * std::exp(-t / 0.12));
        } else if (kind == 1) {  // snare: noise and a tone
            v = float((0.3 * white(noise) + 0.2 * std::sin(2 * std::numbers::pi * 185 * t)) *
                      std::exp(-t / 0.08));
        } else {  // hat: differenced noise, short
            const float n = white(noise);
            v = float(0.08 * (n - previous) * std::exp(-t / 0.02));
            previous = n;
        }
        out[std::size_t(at + i)] += v;
    }
}

// Interleaved stereo 16-bit samples of the loop.
inline std::vector<std::int16_t> drumLoop(const DrumLoop& loop) {
    std::vector<float> mono(std::size_t(loop.seconds * loop.rate));
    std::mt19937 noise(1234);
    const double beatFrames = 60.0 / loop.bpm * loop.rate;
    const double start = loop.introSeconds * loop.rate;
    for (int eighth = 0;; ++eighth) {
        const std::int64_t at = roundEven(start + eighth * beatFrames / 2);
        if (at >= std::int64_t(mono.size())) break;
        if (eighth % 2 == 0) addHit(mono, at, loop.rate, (eighth / 2) % 2 == 0 ? 0 : 1, noise);
        addHit(mono, at, loop.rate, 2, noise);
    }
    std::vector<std::int16_t> pcm(mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        pcm[2 * i] = pcm[2 * i + 1] =
            std::int16_t(roundEven(std::clamp(mono[i], -1.0f, 1.0f) * 32767));
    return pcm;
}

}  // namespace kelvra::audio::testing
