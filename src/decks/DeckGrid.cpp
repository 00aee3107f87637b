#include "decks/DeckGrid.h"

#include <algorithm>
#include <cmath>

#include "decks/DeckPlaces.h"

namespace kelvra::decks {

std::optional<double> DeckGrid::beatSeconds() const {
    const double bpm = analysis_.songBpm();
    if (bpm <= 0 || frameBytes() <= 0) return std::nullopt;
    return 60.0 / bpm;
}

std::int64_t DeckGrid::frameBytes() const {
    return std::llrint(bytesPerSecond(door_, deck_.streamId()) / std::max(1, deck_.sampleRate()));
}

std::int64_t DeckGrid::toBytes(double seconds) const {
    // On a whole frame: a position inside a frame would swap the channels.
    return std::max<std::int64_t>(0, std::llrint(seconds * deck_.sampleRate())) * frameBytes();
}

double DeckGrid::toSeconds(std::int64_t bytes) const {
    const std::int64_t frame = frameBytes();
    return frame > 0 ? double(bytes / frame) / std::max(1, deck_.sampleRate()) : 0;
}

double DeckGrid::firstBeat() const {
    return analysis_.analysis() ? analysis_.analysis()->firstBeatSeconds : 0;
}

double DeckGrid::nearestBeat(double seconds, double beats) const {
    const auto beat = beatSeconds();
    if (!beat) return seconds;
    const double step = *beat * beats;
    return firstBeat() + std::nearbyint((seconds - firstBeat()) / step) * step;
}

double DeckGrid::beatAtOrBefore(double seconds, double beats) const {
    const auto beat = beatSeconds();
    if (!beat) return seconds;
    const double step = *beat * beats;
    // A hair of tolerance: a place read back from bytes sits a rounding below its grid line.
    return firstBeat() + std::floor((seconds - firstBeat()) / step + 1e-6) * step;
}

}  // namespace kelvra::decks
