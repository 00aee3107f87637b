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
