// The controls of one deck panel and of the mixer panel, as models. Both decks have the same set;
// controlName() gives each control's own name on its side, which the views use as object names.
#pragma once

#include "audio/AudioLibrary.h"
#include "core/ControlModels.h"
#include "core/ControlRegistry.h"
#include "core/Side.h"

namespace kelvra::decks {

struct DeckControls {
    explicit DeckControls(Side side);
    // Puts every control of this deck into `registry`, under its scripts' name on this side and
    // an alias `left.ITEM` or `right.ITEM`.
    void registerControls(ControlRegistry& registry);

    Side side;
    DropTargetModel panel;  // the deck panel's background
    ButtonModel openFile;
    ButtonModel play;
    ButtonModel pause;
    // Not on the panel: a controller's one transport button, pausing a playing deck and
    // playing (resuming) any other, so that it never sends a song on air back to its cue.
    ButtonModel playPause;
    ButtonModel stop;
    ButtonModel cue;
    ButtonModel cueBack;
    ButtonModel cueForward;
    ButtonModel playCue;
    ButtonModel resetCue;
    ButtonModel pitchZero;
    ButtonModel bendMinus;
    ButtonModel bendPlus;
    ButtonModel speed22;  // base frequency 22 kHz lamp and button
    ButtonModel speed44;  // base frequency 44 kHz lamp and button
    ButtonModel logo;
    ButtonModel sync;  // beyond the classic panel: tempo and beat to the other deck
    SliderModel pitch{0, 2000, 1000};
    SliderModel volume{0, 100, 100};
    // Tone controls, 0..100 with 50 at unity: the EQ bands cut down to a kill at 0 and boost up
    // to +6 dB at 100; the filter is off at 50, low-pass to the left, high-pass to the right;
    // the gain (trim) spans -12..+12 dB. A lit kill button silences its band whatever the knob.
    SliderModel eqLow{0, 100, 50};
    SliderModel eqMid{0, 100, 50};
    SliderModel eqHigh{0, 100, 50};
    ButtonModel killLow, killMid, killHigh;
    SliderModel filter{0, 100, 50};
    SliderModel gain{0, 100, 50};
    // Performance pads: eight hot cues with their clear buttons, beat jumps of -16, -4, -1, +1,
    // +4, +16 beats, and quantise (hot cues and jumps on the beat grid, keeping the phase).
    static constexpr int kHotCues = 8;
    static constexpr int kBeatJumps = 6;
    ButtonModel hotCue[kHotCues];
    ButtonModel hotCueClear[kHotCues];
    ButtonModel beatJump[kBeatJumps];
    ButtonModel quantize{"Q"};
    // Loops: in and out points, beat loops of 1/8 to 32 beats (a right press on one rolls it:
    // the song goes on underneath while it is held), halve, double, exit and reloop. The roll
    // buttons are the scripts' way to hold a roll; `loopRollAny` lets go of whichever is held.
    static constexpr int kBeatLoops = 9;
    ButtonModel loopIn{"IN"}, loopOut{"OUT"};
    ButtonModel beatLoop[kBeatLoops];
    ButtonModel loopHalf{"\u00BD"}, loopDouble{"\u00D72"};
    ButtonModel loopExit{"EXIT"}, reloop{"RELOOP"};
    ButtonModel loopRoll[kBeatLoops];
    ButtonModel loopRollAny;
    // Key lock (the pitch slider moves the tempo only) and the key shift in semitones.
    ButtonModel keyLock{"KEY"};
    ButtonModel keyUp{"\u266F"}, keyDown{"\u266D"}, keyReset{"0"};
    // The controller's jog wheel; its touch is a button, pressed while the wheel is held.
    JogModel jog;
    ButtonModel jogTouch;
    DeckDisplayModel display;
    LevelMeterModel meter{static_cast<int>(audio::kLevelFullScale)};
};

struct MixerControls {
    MixerControls();
    // The mixer's controls, as `mixer.ITEM`.
    void registerControls(ControlRegistry& registry);

    SliderModel crossFader{0, 100, 50, Orientation::Horizontal};
    SliderModel mainVolume{0, 100, 70, Orientation::Horizontal};
    SliderModel monitorVolume{0, 100, 100};
    // With a headphone output of its own: 0 hears only the cued deck, 100 only the main mix.
    SliderModel phonesMix{0, 100, 0, Orientation::Horizontal};
    ButtonModel phonesSplit;  // one-earpiece listening: cue left, main mix right
    LevelMeterModel mainMeter{static_cast<int>(audio::kLevelFullScale)};
    ButtonModel monitor[3];  // monitor left, monitor right, stereo
    ButtonModel autoDJ;
    ButtonModel options;
    ButtonModel record;    // recordCB: starts and stops the recording of the set
    TextModel recordText;  // recordTXT: the recording's length and size while it runs
};

// Which control of a deck panel.
enum class DeckControl {
    OpenFile,
    Play,
    Pause,
    Stop,
    Cue,
    CueBack,
    CueForward,
    PlayCue,
    ResetCue,
    PitchZero,
    BendMinus,
    BendPlus,
    Speed22,
    Speed44,
    Logo,
    Pitch,
    Volume,
    Display,
    Meter,
    PitchLabel,
    Sync,
    EqLow,
    EqMid,
    EqHigh,
    KillLow,
    KillMid,
    KillHigh,
    Filter,
    Gain,
    HotCue,
    HotCueClear,
    BeatJump,
    Quantize,
    LoopIn,
    LoopOut,
    BeatLoop,
    LoopHalf,
    LoopDouble,
    LoopExit,
    Reloop,
    LoopRoll,
    KeyLock,
    KeyUp,
    KeyDown,
    KeyReset,
    Jog,
    JogTouch,
    PlayPause,  // a controller's, not on the panel
};

// The control's name on that side ("playCB2" on the left, "playCB" on the right, ...).
const char* controlName(Side side, DeckControl control);

}  // namespace kelvra::decks
