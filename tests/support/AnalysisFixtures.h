// Analyses made by hand, for tests that need a deck to know a tempo, a grid or a key without
// decoding anything.
#pragma once

#include <memory>

#include "audio/analysis/SongAnalysis.h"

namespace kelvra::test {

struct AnalysisShape {
    double bpm = 120;
    int key = -1;
    double firstBeat = 0;
    double seconds = 90;
    int rate = 44100;
};

inline audio::analysis::AnalysisSnapshot analysisOf(const AnalysisShape& shape) {
    auto analysis = std::make_shared<audio::analysis::SongAnalysis>();
    analysis->bpm = shape.bpm;
    analysis->key = shape.key;
    analysis->firstBeatSeconds = shape.firstBeat;
    analysis->seconds = shape.seconds;
    analysis->waveform.rate = shape.rate;
    return analysis;
}

}  // namespace kelvra::test
