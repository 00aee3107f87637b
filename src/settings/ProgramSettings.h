// The program-wide values that the stored options turn into. The options window fills them when
// it loads and when it closes; the engine, decks, Auto-DJ and playlist read them.
#pragma once

#include <QString>
#include <cstdint>

#include "audio/OutputSetup.h"

namespace kelvra::settings {

// What the audio engine reads before it opens the output (device, rate and buffer take effect at
// the next start; the seek flag for every stream opened after a change).
struct EngineSettings {
    std::int16_t outputDevice = -1;   // -1: the system's default device
    std::int32_t outputRate = 44100;  // Hz
    std::uint32_t streamFlags = 0;    // 0, or the accurate-seeking flag 131072
    double bufferSeconds = 1.1;
    audio::OutputSetup output;  // the output section's choices, applied at once
};

struct ProgramSettings {
    EngineSettings engine;
    double pitchRangeFactor = 1.0;          // 1.0, 1.5 or 2.0: pitch range +-10, 15 or 20 %
    std::int32_t turntableStopStep = 4000;  // Hz removed per turntable-stop tick
    std::int16_t AutomixStart = 85;         // percent of a song where the Auto-DJ mixes
    std::int16_t DjSetup = 0;               // panel order of the main window
    QString playlistPath;                   // initial folder of the playlist dialogs
    std::int16_t optStartUp = 1;            // offer the file associations at start-up
    std::int16_t cueSearchInterval = 80;    // ms, both cue-search timers
    std::int16_t autoFadeSeconds = 5;       // Auto-DJ: a full crossfader sweep, in seconds
    bool autoSkipSilence = false;           // Auto-DJ: mix on the songs' audible parts
    bool showWaveforms = true;              // the scrolling waveforms of both decks
    bool matchLoudness = false;             // every song corrected to the same loudness
    bool showElapsed = false;               // the decks show the time played beside the time left
    bool dockPlaylist = false;              // the playlist sits below the decks, not over them
    std::int64_t analysisCacheMegabytes = 1024;  // the most the analysis cache keeps on disk
};

}  // namespace kelvra::settings
