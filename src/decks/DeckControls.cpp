#include "decks/DeckControls.h"

namespace kelvra::decks {

DeckControls::DeckControls(Side side_)
    : side(side_),
      openFile("", "Load Song from file..."),
      play("Play"),
      pause("Pause"),
      stop("Stop"),
      cue("Cue..."),
      cueBack("<<", "Edit cue point..."),
      cueForward(">>", "Edit cue point..."),
      playCue("", side_ == Side::Left ? "Play previous Cue-point.." : "Play previous Cue-point"),
      resetCue("", "Re-set Cuepoint"),
      pitchZero("", "Pitch to Zero..."),
      bendMinus("", "Pitch Bend - Minus"),
      bendPlus("", "Pitch Bend - Plus"),
      speed22("22", "Frequency = 22Khz..."),
      speed44("44", "Frequency = 44Khz..."),
      logo("Kelvra"),
      sync("SYNC", "Sync: match the other deck's tempo and beat") {
    // The play-previous-cue button is dark green on both decks until a cue history lights it.
    playCue.setBackColour(kColourOff);
    pitch.setSteps(1, 10);
    pitch.setTickSpacing(100);
    pitch.setToolTip("Pitch Slider");
    volume.setTickSpacing(10);
    if (side == Side::Right) volume.setToolTip("Right Deck's Volume...");
    eqLow.setToolTip("Low EQ...");
    eqMid.setToolTip("Mid EQ...");
    eqHigh.setToolTip("High EQ...");
    killLow.setToolTip("Kill Low...");
    killMid.setToolTip("Kill Mid...");
    killHigh.setToolTip("Kill High...");
    filter.setToolTip("Filter: Low-pass <-> High-pass...");
    gain.setToolTip("Gain...");
    static const char* const jumps[kBeatJumps] = {"-16", "-4", "-1", "+1", "+4", "+16"};
    for (int i = 0; i < kBeatJumps; ++i) {
        beatJump[i].setCaption(QLatin1String(jumps[i]));
        beatJump[i].setToolTip(QStringLiteral("Beat Jump %1...").arg(QLatin1String(jumps[i])));
    }
    for (int i = 0; i < kHotCues; ++i) {
        hotCue[i].setCaption(QString::number(i + 1));
        hotCue[i].setToolTip(QStringLiteral("Hot Cue %1: set, or jump...").arg(i + 1));
        hotCueClear[i].setToolTip(QStringLiteral("Clear Hot Cue %1...").arg(i + 1));
    }
    quantize.setToolTip("Quantise: hot cues and jumps on the beat...");
    static const char* const loops[kBeatLoops] = {"1/8", "1/4", "1/2", "1", "2",
                                                  "4",   "8",   "16",  "32"};
    for (int i = 0; i < kBeatLoops; ++i) {
        beatLoop[i].setCaption(QLatin1String(loops[i]));
        beatLoop[i].setToolTip(
            QStringLiteral("Loop %1 beats (right button: roll while held)...").arg(loops[i]));
    }
    loopIn.setToolTip("Loop In...");
    loopOut.setToolTip("Loop Out...");
    loopHalf.setToolTip("Halve the loop...");
    loopDouble.setToolTip("Double the loop...");
    loopExit.setToolTip("Exit the loop...");
    reloop.setToolTip("Reloop...");
    keyLock.setToolTip("Key Lock: the pitch slider changes the tempo only...");
    keyLock.setBackColour(kColourOff);
    keyUp.setToolTip("Key up a semitone...");
    keyDown.setToolTip("Key down a semitone...");
    keyReset.setToolTip("Key back to the song's own...");
    quantize.setBackColour(kColourOff);
    for (SliderModel* knob : {&eqLow, &eqMid, &eqHigh, &filter, &gain}) {
        knob->setSteps(1, 5);
        knob->setTickSpacing(50);
    }
}

MixerControls::MixerControls()
    : monitor{ButtonModel("", "Monitor Left Channel..."),
              ButtonModel("", "Monitor Right Channel..."),
              ButtonModel("", "Stereo: Monitor=OFF...")},
      autoDJ("", "Auto-DJ ON/OFF"),
      options("", "DJ Options...") {
    crossFader.setTickSpacing(10);
    crossFader.setToolTip("Cross Fader...");
    mainVolume.setTickSpacing(10);
    mainVolume.setToolTip("Main Volume...");
    monitorVolume.setTickSpacing(10);
    monitorVolume.setToolTip("Headphone (monitor) Volume...");
    phonesMix.setTickSpacing(10);
    phonesMix.setToolTip("Headphone Mix: Cue <-> Main...");
    phonesSplit.setToolTip("Split Headphones: Cue Left, Main Right...");
    for (ButtonModel& button : monitor)
        button.setBackColour(kColourOff);
}

const char* controlName(Side side, DeckControl control) {
    const bool left = side == Side::Left;
    switch (control) {
        case DeckControl::OpenFile:
            return left ? "openFileCB2" : "openFileCB1";
        case DeckControl::Play:
            return left ? "playCB2" : "playCB";
        case DeckControl::Pause:
            return left ? "LpauseCB" : "pauseCB";
        case DeckControl::PlayPause:
            return left ? "LplayPauseCB" : "playPauseCB";
        case DeckControl::Stop:
            return left ? "stopCB2" : "stopCB";
        case DeckControl::Cue:
            return left ? "cueCB2" : "cueCB";
        case DeckControl::CueBack:
            return left ? "LcueBackCB" : "cueBackCB";
        case DeckControl::CueForward:
            return left ? "LcueFowardCB" : "cueFowardCB";
        case DeckControl::PlayCue:
            return left ? "Lplay_cue" : "Rplay_cue";
        case DeckControl::ResetCue:
            return left ? "cmdReset_Lcue" : "cmdReset_Rcue";
        case DeckControl::PitchZero:
            return left ? "LpitchZeroIndicator" : "pitchZeroIndicator";
        case DeckControl::BendMinus:
            return left ? "LpBend_Minus" : "RpBend_Minus";
        case DeckControl::BendPlus:
            return left ? "LpBend_PlusCB" : "RpBend_plusCB";
        case DeckControl::Speed22:
            return left ? "speedCB_1" : "speedCB_3";
        case DeckControl::Speed44:
            return left ? "speedCB_2" : "speedCB_4";
        case DeckControl::Logo:
            return left ? "Command2" : "Command1";
        case DeckControl::Pitch:
            return left ? "LpitchScroll" : "RpitchScroll";
        case DeckControl::Volume:
            return left ? "LVolScroll" : "RvolScroll";
        case DeckControl::Display:
            return left ? "LCD_L" : "LCD_R";
        case DeckControl::Meter:
            return left ? "LVUmeter" : "RVUmeter";
        case DeckControl::PitchLabel:
            return left ? "Label14" : "Label3";
        case DeckControl::Sync:
            return left ? "LsyncCB" : "RsyncCB";
        case DeckControl::EqLow:
            return left ? "LeqLow" : "ReqLow";
        case DeckControl::EqMid:
            return left ? "LeqMid" : "ReqMid";
        case DeckControl::EqHigh:
            return left ? "LeqHigh" : "ReqHigh";
        case DeckControl::KillLow:
            return left ? "LkillLow" : "RkillLow";
        case DeckControl::KillMid:
            return left ? "LkillMid" : "RkillMid";
        case DeckControl::KillHigh:
            return left ? "LkillHigh" : "RkillHigh";
        case DeckControl::Filter:
            return left ? "Lfilter" : "Rfilter";
        case DeckControl::Gain:
            return left ? "Lgain" : "Rgain";
        case DeckControl::HotCue:
            return left ? "LhotCue" : "RhotCue";
        case DeckControl::HotCueClear:
            return left ? "LhotCueClear" : "RhotCueClear";
        case DeckControl::BeatJump:
            return left ? "LbeatJump" : "RbeatJump";
        case DeckControl::Quantize:
            return left ? "Lquantize" : "Rquantize";
        case DeckControl::LoopIn:
            return left ? "LloopIn" : "RloopIn";
        case DeckControl::LoopOut:
            return left ? "LloopOut" : "RloopOut";
        case DeckControl::BeatLoop:
            return left ? "LbeatLoop" : "RbeatLoop";
        case DeckControl::LoopHalf:
            return left ? "LloopHalf" : "RloopHalf";
        case DeckControl::LoopDouble:
            return left ? "LloopDouble" : "RloopDouble";
        case DeckControl::LoopExit:
            return left ? "LloopExit" : "RloopExit";
        case DeckControl::Reloop:
            return left ? "Lreloop" : "Rreloop";
        case DeckControl::LoopRoll:
            return left ? "LloopRoll" : "RloopRoll";
        case DeckControl::KeyLock:
            return left ? "LkeyLockCB" : "RkeyLockCB";
        case DeckControl::KeyUp:
            return left ? "LkeyUp" : "RkeyUp";
        case DeckControl::KeyDown:
            return left ? "LkeyDown" : "RkeyDown";
        case DeckControl::KeyReset:
            return left ? "LkeyReset" : "RkeyReset";
        case DeckControl::Jog:
            return left ? "Ljog" : "Rjog";
        case DeckControl::JogTouch:
            return left ? "LjogTouch" : "RjogTouch";
    }
    return "";
}

}  // namespace kelvra::decks

namespace kelvra::decks {
namespace {

// What a person calls a deck control, and the item of its alias.
struct Words {
    const char* item;
    const char* caption;
};

}  // namespace

void DeckControls::registerControls(ControlRegistry& registry) {
    const bool left = side == Side::Left;
    const QString deckWords = left ? QStringLiteral("Left deck: ") : QStringLiteral("Right deck: ");
    const QString prefix = left ? QStringLiteral("left.") : QStringLiteral("right.");
    auto add = [&](DeckControl which, const Words& words, RegisteredControl control, int index = -1,
                   const QString& number = {}) {
        control.name = QLatin1String(controlName(side, which));
        control.index = index;
        control.alias = prefix + QLatin1String(words.item);
        control.aliasIndex = index;
        const QString caption = QString::fromUtf8(words.caption);
        control.caption = deckWords + (number.isEmpty() ? caption : caption.arg(number));
        registry.add(std::move(control));
    };
    auto button = [](ButtonModel& model) {
        RegisteredControl control;
        control.button = &model;
        return control;
    };
    // Play, pause, stop and cue show their state on the display's lamps, not on themselves.
    auto lamped = [this](ButtonModel& model, DeckDisplayModel::Lamp lamp) {
        RegisteredControl control;
        control.button = &model;
        control.lampDisplay = &display;
        control.lamp = lamp;
        return control;
    };
    auto slider = [](SliderModel& model, bool topIsMinimum) {
        RegisteredControl control;
        control.slider = &model;
        control.topIsMinimum = topIsMinimum;
        return control;
    };

    add(DeckControl::OpenFile, {"load", "Load a song"}, button(openFile));
    add(DeckControl::Play, {"play", "Play"}, lamped(play, DeckDisplayModel::Play));
    add(DeckControl::Pause, {"pause", "Pause"}, lamped(pause, DeckDisplayModel::Pause));
    // For controllers, not on the panel: lit while the deck plays.
    add(DeckControl::PlayPause, {"play_pause", "Play / pause"},
        lamped(playPause, DeckDisplayModel::Play));
    add(DeckControl::Stop, {"stop", "Stop"}, lamped(stop, DeckDisplayModel::Stop));
    add(DeckControl::Cue, {"cue", "Cue"}, lamped(cue, DeckDisplayModel::Cue));
    add(DeckControl::CueBack, {"cue_back", "Move the cue back"}, button(cueBack));
    add(DeckControl::CueForward, {"cue_forward", "Move the cue forward"}, button(cueForward));
    add(DeckControl::PlayCue, {"play_previous_cue", "Play from the previous cue"}, button(playCue));
    add(DeckControl::ResetCue, {"reset_cue", "Reset the cue points"}, button(resetCue));
    add(DeckControl::PitchZero, {"pitch_zero", "Pitch to zero"}, button(pitchZero));
    add(DeckControl::BendMinus, {"bend_down", "Bend down"}, button(bendMinus));
    add(DeckControl::BendPlus, {"bend_up", "Bend up"}, button(bendPlus));
    add(DeckControl::Sync, {"sync", "Sync"}, button(sync));
    add(DeckControl::KillLow, {"kill_low", "Kill the lows"}, button(killLow));
    add(DeckControl::KillMid, {"kill_mid", "Kill the mids"}, button(killMid));
    add(DeckControl::KillHigh, {"kill_high", "Kill the highs"}, button(killHigh));
    add(DeckControl::Quantize, {"quantize", "Quantise"}, button(quantize));
    // The screen numbers the pads from 1; the scripts' indexes count from 0.
    for (int i = 0; i < kHotCues; ++i) {
        add(DeckControl::HotCue, {"hotcue", "Hot cue %1"}, button(hotCue[i]), i,
            QString::number(i + 1));
        add(DeckControl::HotCueClear, {"hotcue_clear", "Clear hot cue %1"}, button(hotCueClear[i]),
            i, QString::number(i + 1));
    }
    for (int i = 0; i < kBeatJumps; ++i)
        add(DeckControl::BeatJump, {"beatjump", "Jump %1 beats"}, button(beatJump[i]), i,
            beatJump[i].caption());
    add(DeckControl::LoopIn, {"loop_in", "Loop in"}, button(loopIn));
    add(DeckControl::LoopOut, {"loop_out", "Loop out"}, button(loopOut));
    add(DeckControl::LoopHalf, {"loop_half", "Halve the loop"}, button(loopHalf));
    add(DeckControl::LoopDouble, {"loop_double", "Double the loop"}, button(loopDouble));
    add(DeckControl::LoopExit, {"loop_exit", "Exit the loop"}, button(loopExit));
    add(DeckControl::Reloop, {"reloop", "Reloop"}, button(reloop));
    add(DeckControl::KeyLock, {"keylock", "Key lock"}, button(keyLock));
    add(DeckControl::KeyUp, {"key_up", "Key up a semitone"}, button(keyUp));
    add(DeckControl::KeyDown, {"key_down", "Key down a semitone"}, button(keyDown));
    add(DeckControl::KeyReset, {"key_reset", "Key back to the song's own"}, button(keyReset));
    for (int i = 0; i < kBeatLoops; ++i) {
        add(DeckControl::BeatLoop, {"beatloop", "Loop %1 beats"}, button(beatLoop[i]), i,
            beatLoop[i].caption());
        add(DeckControl::LoopRoll, {"loop_roll", "Roll %1 beats"}, button(loopRoll[i]), i,
            beatLoop[i].caption());
    }
    // Without an index the roll's name lets go of whichever roll is held.
    add(DeckControl::LoopRoll, {"loop_roll", "Let go of the roll"}, button(loopRollAny));
    // The deck's faders are drawn with their minimum at the top; the tone knobs turn up.
    add(DeckControl::Pitch, {"pitch", "Pitch"}, slider(pitch, true));
    add(DeckControl::Volume, {"volume", "Volume"}, slider(volume, true));
    add(DeckControl::EqLow, {"eq_low", "Low EQ"}, slider(eqLow, false));
    add(DeckControl::EqMid, {"eq_mid", "Mid EQ"}, slider(eqMid, false));
    add(DeckControl::EqHigh, {"eq_high", "High EQ"}, slider(eqHigh, false));
    add(DeckControl::Filter, {"filter", "Filter"}, slider(filter, false));
    add(DeckControl::Gain, {"gain", "Gain"}, slider(gain, false));
    RegisteredControl wheel;
    wheel.jog = &jog;
    add(DeckControl::Jog, {"jog", "Jog wheel"}, wheel);
    add(DeckControl::JogTouch, {"jog_touch", "Touch the jog wheel"}, button(jogTouch));
    // The base-frequency buttons are one group across both decks: 22 and 44 kHz left (1, 2),
    // then right (3, 4).
    const int first = left ? 1 : 3;
    const std::pair<ButtonModel*, const char*> speeds[] = {{&speed22, "22"}, {&speed44, "44"}};
    for (int i = 0; i < 2; ++i) {
        RegisteredControl control = button(*speeds[i].first);
        control.name = QStringLiteral("speedCB");
        control.index = first + i;
        control.alias = prefix + QStringLiteral("speed") + QLatin1String(speeds[i].second);
        control.caption = deckWords + QStringLiteral("Base frequency %1 kHz").arg(speeds[i].second);
        registry.add(std::move(control));
    }
}

void MixerControls::registerControls(ControlRegistry& registry) {
    auto add = [&registry](const char* name, const char* alias, const char* caption,
                           RegisteredControl control, int index = -1) {
        control.name = QLatin1String(name);
        control.index = index;
        control.alias = QStringLiteral("mixer.") + QLatin1String(alias);
        control.caption = QStringLiteral("Mixer: ") + QString::fromUtf8(caption);
        registry.add(std::move(control));
    };
    auto button = [](ButtonModel& model) {
        RegisteredControl control;
        control.button = &model;
        return control;
    };
    auto slider = [](SliderModel& model) {
        RegisteredControl control;
        control.slider = &model;
        control.topIsMinimum = model.orientation() == Orientation::Vertical;
        return control;
    };
    const char* const monitors[3][2] = {{"headphones_left", "Headphones on the left deck"},
                                        {"headphones_right", "Headphones on the right deck"},
                                        {"headphones_off", "Headphones off"}};
    for (int i = 0; i < 3; ++i)
        add("monitorCMB", monitors[i][0], monitors[i][1], button(monitor[i]), i);
    add("crossFaderScroll", "crossfader", "Crossfader", slider(crossFader));
    add("MainVolScroll", "main_volume", "Main volume", slider(mainVolume));
    add("monitorVolScroll", "headphones_volume", "Headphone volume", slider(monitorVolume));
    add("phonesMix", "headphones_mix", "Headphones: cue to main mix", slider(phonesMix));
    add("phonesSplitCB", "headphones_split", "Split headphones", button(phonesSplit));
    add("autoDJCB", "autodj", "Auto-DJ on or off", button(autoDJ));
    add("optionsCB", "options", "Options", button(options));
    add("recordCB", "record", "Record the set", button(record));
}

}  // namespace kelvra::decks
