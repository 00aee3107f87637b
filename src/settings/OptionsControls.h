// The controls of the options window as models, grouped as the window shows them.
#pragma once

#include <array>

#include "core/CheckListModel.h"
#include "core/ControlModels.h"

namespace kelvra::settings {

struct OptionsControls {
    OptionsControls();

    ChoiceModel device;        // cmbDevice, frame "PLAYBACK DEVICE (Restart)"
    ChoiceModel quality;       // cmbPlayQuality, frame "QUALITY (Restart)"
    ChoiceModel seekAccuracy;  // optSeek 0 "Medium ", 1 "High"; frame "SEEKING ACCURACY"
    SliderModel buffer{2, 20, 11, Orientation::Horizontal};     // bufferSlider
    SliderModel autoMix{70, 100, 85, Orientation::Horizontal};  // autoMixSlider
    SliderModel turntableStop{1000, 7000, 4000,
                              Orientation::Vertical};          // TurntableStopSpeed_slider
    SliderModel pitchRange{0, 1, 0, Orientation::Horizontal};  // pitchRange_slider
    ChoiceModel djSetup;                                       // djSetupOpt 0..2, frame "DJ SETUP"
    // Frame "AUTO-DJ FADE": seconds of a full crossfader sweep, and whether the Auto-DJ mixes on
    // the songs' audible parts (optSkipSilence 0 "Off", 1 "On").
    SliderModel autoFade{1, 30, 5, Orientation::Horizontal};  // autoFadeSlider
    ChoiceModel skipSilence;
    // Frame "DISPLAY AND LOUDNESS".
    CheckModel showWaveforms{QStringLiteral("Show waveforms")};
    CheckModel matchLoudness{QStringLiteral("Match loudness (-14 LUFS)")};
    CheckModel showElapsed{QStringLiteral("Show elapsed time")};
    CheckModel dockPlaylist{QStringLiteral("Playlist below the decks")};
    // Frame "OUTPUTS": where the mix and the headphones go, applied as soon as they are picked.
    ChoiceModel outputBackend;  // cmbOutputBackend
    ChoiceModel outputMain;     // cmbOutputMain: the main mix's device
    ChoiceModel outputPhones;   // cmbOutputPhones: shared, channels 3/4, or a device
    ChoiceModel outputPeriod;   // cmbOutputPeriod: frames the mixer renders at a time
    ChoiceModel outputRate;     // cmbOutputRate: the Quality's rate, or one of its own
    TextModel outputLatency;    // lblOutputLatency: what the output reports
    // Frame "CONTROLLERS": the MIDI devices to open, applied at once and remembered, and the
    // mapping file that gives their controls a meaning.
    CheckListModel midiInputs;          // lstMidiInputs
    CheckListModel midiOutputs;         // lstMidiOutputs: where the controllers' lights are sent
    ChoiceModel controllerMapping;      // cmbControllerMapping: "None", then the .map files
    TextModel midiStatus;               // lblMidiStatus: what is in use, or why nothing can be
    ButtonModel midiLearn{"Learn..."};  // cmdMidiLearn: binds a control to a controller's move
    TextModel playlistPath;             // txtPlaylistPath, frame "FILE LOCATIONS"
    ButtonModel associate;              // cmdAssociate
    ButtonModel close;                  // cmdcloseButton
};

// Frame captions, in the order the window shows them.
inline constexpr std::array<const char*, 13> kOptionFrames = {"PLAYBACK DEVICE (Restart)",
                                                              "QUALITY (Restart)",
                                                              "SEEKING ACCURACY",
                                                              "BUFFER (Restart)",
                                                              "AUTO-DJ START",
                                                              "TT BRAKING",
                                                              "PITCH RANGE (+/-)",
                                                              "DJ SETUP",
                                                              "AUTO-DJ FADE",
                                                              "DISPLAY AND LOUDNESS",
                                                              "OUTPUTS",
                                                              "CONTROLLERS",
                                                              "FILE LOCATIONS"};

}  // namespace kelvra::settings
