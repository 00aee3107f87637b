// The key finder on rendered chord progressions in several keys, major and minor, with bass and
// overtones as instruments have them; noise with no pitch finds none. And the key names, the
// wheel and which keys mix.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "audio/analysis/KeyFinder.h"

namespace kelvra::audio::analysis {
namespace {

constexpr int kRate = 44100;

// A note of MIDI `pitch` with five overtones falling off, added into `out` from `at` for `frames`.
void note(std::vector<float>& out, std::size_t at, std::size_t frames, int pitch, float level) {
    const double hz = 440 * std::exp2((pitch - 69) / 12.0);
    for (std::size_t i = 0; i < frames && at + i < out.size(); ++i) {
        const double t = double(i) / kRate;
        const double envelope = std::exp(-1.5 * t) * std::min(1.0, t * 200);
        double v = 0;
        for (int h = 1; h <= 6; ++h)
            v += std::sin(2 * M_PI * hz * h * t) / h;
        out[at + i] += float(level * envelope * v);
    }
}

// Chords of a progression, one a second for 24 seconds, each with its root an octave down in
// the bass. A chord is its root's MIDI pitch and whether it is minor.
std::vector<float> progression(const std::vector<std::pair<int, bool>>& chords) {
    std::vector<float> song(std::size_t(24 * kRate));
    for (int bar = 0; bar < 24; ++bar) {
        const auto [root, minor] = chords[std::size_t(bar) % chords.size()];
        const std::size_t at = std::size_t(bar) * kRate;
        for (int interval : {0, minor ? 3 : 4, 7})
            note(song, at, kRate, root + interval, 0.08f);
        note(song, at, kRate, root - 12, 0.12f);
    }
    return song;
}

int keyOf(const std::vector<float>& song) {
    KeyFinder finder(kRate);
    for (std::size_t at = 0; at < song.size(); at += 4096)
        finder.push(song.data() + at, int(std::min<std::size_t>(4096, song.size() - at)));
    return finder.finish();
}

TEST(KeyFinder, FindsTheKeyOfProgressionsInMajorAndMinor) {
    // I-IV-V-I and i-iv-V-i (the minor's dominant major, as songs have it) in all 24 keys, the
    // tonics from A below middle C up to G#.
    for (int key = 0; key < 24; ++key) {
        const bool minor = key >= 12;
        const int tonic = 57 + (key % 12 + 3) % 12;  // the tonic's MIDI pitch, 57 (A) to 68
        const std::vector<std::pair<int, bool>> chords = {
            {tonic, minor}, {tonic + 5, minor}, {tonic + 7, false}, {tonic, minor}};
        EXPECT_EQ(keyOf(progression(chords)), key) << keyName(key);
    }

    // Noise has no key, nor has silence.
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0, 0.1f);
    std::vector<float> hiss(std::size_t(10 * kRate));
    for (float& x : hiss)
        x = noise(random);
    EXPECT_EQ(keyOf(hiss), kNoKey);
    EXPECT_EQ(keyOf(std::vector<float>(std::size_t(5 * kRate))), kNoKey);
}

// A tune played twice on one bright instrument (overtones falling as 1/h), half a second a note.
std::vector<float> tune(const std::vector<int>& pitches) {
    std::vector<float> song(pitches.size() * 2 * kRate / 2 + kRate);
    for (std::size_t i = 0; i < 2 * pitches.size(); ++i)
        note(song, i * kRate / 2, kRate / 2, pitches[i % pitches.size()], 0.2f);
    return song;
}

TEST(KeyFinder, HearsABrightTuneInItsOwnKeyNotItsOvertones) {
    // Each note's third harmonic sounds a fifth above it (an octave up) and its fifth harmonic a
    // major third above: heard as notes, they move a tune to its dominant's key, or a minor
    // tune to the major. Up the tonic chord, the subdominant, the dominant with its leading
    // tone, and home.
    EXPECT_EQ(keyOf(tune({60, 64, 67, 72, 65, 69, 67, 71, 72, 67, 64, 62, 60})), 0);   // C major
    EXPECT_EQ(keyOf(tune({57, 60, 64, 69, 62, 65, 64, 68, 69, 64, 60, 59, 57})), 21);  // A minor
    // The same without the raised seventh, as folk tunes often have it.
    EXPECT_EQ(keyOf(tune({57, 60, 64, 69, 62, 65, 64, 67, 69, 64, 60, 59, 57})), 21);
}

TEST(KeyNames, NamesTheWheelAndWhichKeysMix) {
    EXPECT_EQ(keyName(0), "C major");
    EXPECT_EQ(keyName(12), "C minor");
    EXPECT_EQ(keyName(6), "F# major");
    EXPECT_EQ(keyName(kNoKey), "");
    EXPECT_EQ(keyWheel(0), "8B");
    EXPECT_EQ(keyWheel(12), "5A");
    EXPECT_EQ(keyWheel(21), "8A");  // A minor, C major's relative
    EXPECT_EQ(keyWheel(6), "2B");
    EXPECT_EQ(keyWheel(4), "12B");  // E major
    EXPECT_EQ(keyWheel(11), "1B");  // B major
    EXPECT_EQ(keyWheel(kNoKey), "");
    // The same key, a step round the same ring (12 and 1 are neighbours), or the other ring at
    // the same number; nothing else, and never an unknown key.
    EXPECT_TRUE(keysCompatible(0, 0));
    EXPECT_TRUE(keysCompatible(0, 7));    // 8B, 9B
    EXPECT_TRUE(keysCompatible(0, 5));    // 8B, 7B
    EXPECT_TRUE(keysCompatible(0, 21));   // 8B, 8A
    EXPECT_TRUE(keysCompatible(4, 11));   // 12B, 1B
    EXPECT_FALSE(keysCompatible(0, 2));   // 8B, 10B
    EXPECT_FALSE(keysCompatible(0, 16));  // 8B, 9A
    EXPECT_FALSE(keysCompatible(0, 6));
    EXPECT_FALSE(keysCompatible(0, kNoKey));
}

}  // namespace
}  // namespace kelvra::audio::analysis
