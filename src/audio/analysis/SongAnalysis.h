// What the analyser learns about one song: a waveform summary in three bands, a constant-tempo
// beat grid, musical key, loudness and peaks. Snapshots are immutable once made and shared between
// threads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace kelvra::audio {
class Decoder;
}

namespace kelvra::audio::analysis {

enum class Band { Lows = 0, Mids = 1, Highs = 2 };
constexpr int kBandCount = 3;

// One ~10 ms slice of the song: peak and RMS of each band, 0..255 of full scale.
struct WaveformBlock {
    std::array<std::uint8_t, kBandCount> peak{};
    std::array<std::uint8_t, kBandCount> rms{};
    bool operator==(const WaveformBlock&) const = default;
};

struct WaveformSummary {
    int blockFrames = 0;  // frames of the song per block
    int rate = 0;         // the song's rate, Hz
    std::vector<WaveformBlock> blocks;
    bool operator==(const WaveformSummary&) const = default;
};

struct SongAnalysis {
    double bpm = 0;  // 0 when no steady beat was found
    // The song has steady stretches at different tempi: `bpm` and the grid are its longest's.
    bool tempoChanges = false;
    double firstBeatSeconds = 0;  // first beat of the grid inside the music
    double lufs = 0;              // integrated loudness; -inf for silence
    double samplePeakDbfs = 0;    // -inf for silence
    double truePeakDbfs = 0;      // dBTP, -inf for silence
    double seconds = 0;
    int key = -1;  // 0..11 major on C..B, 12..23 minor; -1: none found (see KeyFinder.h)
    WaveformSummary waveform;
    bool operator==(const SongAnalysis&) const = default;
};

using AnalysisSnapshot = std::shared_ptr<const SongAnalysis>;

// Decodes the rest of `decoder` from its current position and analyses it. Null when stopped
// through `stop` or when decoding fails.
AnalysisSnapshot analyseDecoder(Decoder& decoder, std::stop_token stop = {});
// Opens `path` the way a deck does (add-on side first, then the main side) and analyses it. On
// failure (other than a stop) `reason`, when given, says why as a sentence.
AnalysisSnapshot analyseFile(const std::string& path, std::stop_token stop = {},
                             std::string* reason = nullptr);

}  // namespace kelvra::audio::analysis
