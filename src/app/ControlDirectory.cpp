#include "app/ControlDirectory.h"

namespace kelvra::app {

std::vector<NamedControl> namedControls(MainControls& c) {
    std::vector<NamedControl> all;
    auto button = [&all](QString name, ButtonModel& model, int index = -1) {
        all.push_back({std::move(name), index, &model, nullptr, nullptr});
    };
    auto slider = [&all](QString name, SliderModel& model) {
        all.push_back({std::move(name), -1, nullptr, &model, nullptr});
    };
    // The base-frequency buttons are one group across both decks: 22 and 44 kHz left, then right.
    for (int index = 1; index <= 4; ++index) {
        decks::DeckControls& deck = c.deck(index <= 2 ? Side::Left : Side::Right);
        button("speedCB", index % 2 == 1 ? deck.speed22 : deck.speed44, index);
    }
    for (int index = 0; index < 3; ++index)
        button("monitorCMB", c.mixer.monitor[index], index);
    slider("crossFaderScroll", c.mixer.crossFader);
    slider("MainVolScroll", c.mixer.mainVolume);
    slider("monitorVolScroll", c.mixer.monitorVolume);
    slider("phonesMix", c.mixer.phonesMix);
    button("phonesSplitCB", c.mixer.phonesSplit);
    button("autoDJCB", c.mixer.autoDJ);
    button("optionsCB", c.mixer.options);
    button("recordCB", c.mixer.record);
    button("upCB", c.previousSong);
    button("downCB", c.nextSong);
    button("playListCB", c.openPlaylist);
    button("libraryCB", c.openLibrary);
    all.push_back({"nextSongTXT", -1, nullptr, nullptr, &c.nextSongText});
    for (Side side : {Side::Left, Side::Right}) {
        decks::DeckControls& d = c.deck(side);
        using decks::DeckControl;
        const std::pair<DeckControl, ButtonModel*> buttons[] = {
            {DeckControl::OpenFile, &d.openFile},
            {DeckControl::Play, &d.play},
            {DeckControl::Pause, &d.pause},
            {DeckControl::PlayPause, &d.playPause},  // for controllers, not on the panel
            {DeckControl::Stop, &d.stop},
            {DeckControl::Cue, &d.cue},
            {DeckControl::CueBack, &d.cueBack},
            {DeckControl::CueForward, &d.cueForward},
            {DeckControl::PlayCue, &d.playCue},
            {DeckControl::ResetCue, &d.resetCue},
            {DeckControl::PitchZero, &d.pitchZero},
            {DeckControl::BendMinus, &d.bendMinus},
            {DeckControl::BendPlus, &d.bendPlus},
            {DeckControl::Sync, &d.sync},
            {DeckControl::KillLow, &d.killLow},
            {DeckControl::KillMid, &d.killMid},
            {DeckControl::KillHigh, &d.killHigh},
        };
        for (const auto& [which, model] : buttons)
            button(decks::controlName(side, which), *model);
        button(decks::controlName(side, DeckControl::Quantize), d.quantize);
        for (int i = 0; i < decks::DeckControls::kHotCues; ++i) {
            button(decks::controlName(side, DeckControl::HotCue), d.hotCue[i], i);
            button(decks::controlName(side, DeckControl::HotCueClear), d.hotCueClear[i], i);
        }
        for (int i = 0; i < decks::DeckControls::kBeatJumps; ++i)
            button(decks::controlName(side, DeckControl::BeatJump), d.beatJump[i], i);
        for (const auto& [which, model] :
             {std::pair{DeckControl::LoopIn, &d.loopIn},
              std::pair{DeckControl::LoopOut, &d.loopOut},
              std::pair{DeckControl::LoopHalf, &d.loopHalf},
              std::pair{DeckControl::LoopDouble, &d.loopDouble},
              std::pair{DeckControl::LoopExit, &d.loopExit},
              std::pair{DeckControl::Reloop, &d.reloop},
              std::pair{DeckControl::KeyLock, &d.keyLock}, std::pair{DeckControl::KeyUp, &d.keyUp},
              std::pair{DeckControl::KeyDown, &d.keyDown},
              std::pair{DeckControl::KeyReset, &d.keyReset}})
            button(decks::controlName(side, which), *model);
        for (int i = 0; i < decks::DeckControls::kBeatLoops; ++i) {
            button(decks::controlName(side, DeckControl::BeatLoop), d.beatLoop[i], i);
            button(decks::controlName(side, DeckControl::LoopRoll), d.loopRoll[i], i);
        }
        // After the indexed rolls: a name without an index lets go of the roll held.
        button(decks::controlName(side, DeckControl::LoopRoll), d.loopRollAny);
        const std::pair<DeckControl, SliderModel*> sliders[] = {
            {DeckControl::Pitch, &d.pitch},   {DeckControl::Volume, &d.volume},
            {DeckControl::EqLow, &d.eqLow},   {DeckControl::EqMid, &d.eqMid},
            {DeckControl::EqHigh, &d.eqHigh}, {DeckControl::Filter, &d.filter},
            {DeckControl::Gain, &d.gain},
        };
        for (const auto& [which, model] : sliders)
            slider(decks::controlName(side, which), *model);
        all.push_back(
            {decks::controlName(side, DeckControl::Jog), -1, nullptr, nullptr, nullptr, &d.jog});
        button(decks::controlName(side, DeckControl::JogTouch), d.jogTouch);
    }
    return all;
}

NamedControl findControl(MainControls& controls, const QString& name, int index) {
    for (NamedControl& control : namedControls(controls))
        if (control.name == name && (control.index < 0 || control.index == index)) return control;
    return {};
}

}  // namespace kelvra::app
