// Drum loops synthesised for the analysis tests: kick on beats 1 and 3, snare on 2 and 4, a hat
// on every eighth note, at any tempo, after an optional silent intro; and drum tracks whose tempo
// moves, or that put accents off the beat.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
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
                   std::mt19937& noise, float gain = 1) {
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
        out[std::size_t(at + i)] += gain * v;
    }
}

inline std::vector<std::int16_t> stereo(const std::vector<float>& mono) {
    std::vector<std::int16_t> pcm(mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        pcm[2 * i] = pcm[2 * i + 1] =
            std::int16_t(roundEven(std::clamp(mono[i], -1.0f, 1.0f) * 32767));
    return pcm;
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
    return stereo(mono);
}

struct DrumTrack {
    std::function<double(double)> bpmAt;  // the tempo at a time, seconds
    double seconds = 60;
    // Every third eighth note also gets a snare this loud (0: none), across the bar lines: the
    // dotted-quarter push of fast metal, whose pulse is two thirds of the beat's.
    float pushAccent = 0;
    bool kickEveryBeat = false;  // a kick on every beat, the snare on 2 and 4 over it
    int rate = 44100;
};

// The loop's pattern at a tempo that follows `bpmAt` eighth by eighth.
inline std::vector<std::int16_t> drumTrack(const DrumTrack& track) {
    std::vector<float> mono(std::size_t(track.seconds * track.rate));
    std::mt19937 noise(99);
    double t = 0;
    for (int eighth = 0; t < track.seconds; ++eighth) {
        const std::int64_t at = roundEven(t * track.rate);
        if (at >= std::int64_t(mono.size())) break;
        if (eighth % 2 == 0) {
            const bool backbeat = (eighth / 2) % 2 == 1;
            if (!backbeat || track.kickEveryBeat) addHit(mono, at, track.rate, 0, noise);
            if (backbeat) addHit(mono, at, track.rate, 1, noise);
        }
        if (track.pushAccent > 0 && eighth % 3 == 0)
            addHit(mono, at, track.rate, 1, noise, track.pushAccent);
        addHit(mono, at, track.rate, 2, noise);
        t += 30 / track.bpmAt(t);
    }
    return stereo(mono);
}

}  // namespace kelvra::audio::testing
