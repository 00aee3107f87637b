#include "app/SessionRunner.h"

namespace kelvra::app {
namespace {

struct Found {
    ButtonModel* button = nullptr;
    SliderModel* slider = nullptr;
    TextModel* text = nullptr;
};

// A control by the name the program's windows give it; `index` picks one of a group.
Found findControl(MainWindow& window, const QString& name, int index) {
    MainControls& c = window.controls();
    // Control groups: the base-frequency buttons (1..4), play-previous-cue (0), monitor (0..2).
    if (name == "speedCB" && index >= 1 && index <= 4) {
        decks::DeckControls& deck = c.deck(index <= 2 ? Side::Left : Side::Right);
        return {index % 2 == 1 ? &deck.speed22 : &deck.speed44};
    }
    if (name == "monitorCMB" && index >= 0 && index <= 2) return {&c.mixer.monitor[index]};
    if (name == "crossFaderScroll") return {nullptr, &c.mixer.crossFader};
    if (name == "MainVolScroll") return {nullptr, &c.mixer.mainVolume};
    if (name == "monitorVolScroll") return {nullptr, &c.mixer.monitorVolume};
    if (name == "autoDJCB") return {&c.mixer.autoDJ};
    if (name == "optionsCB") return {&c.mixer.options};
    if (name == "upCB") return {&c.previousSong};
    if (name == "downCB") return {&c.nextSong};
    if (name == "playListCB") return {&c.openPlaylist};
    if (name == "nextSongTXT") return {nullptr, nullptr, &c.nextSongText};
    for (Side side : {Side::Left, Side::Right}) {
        decks::DeckControls& d = c.deck(side);
        const std::pair<decks::DeckControl, ButtonModel*> buttons[] = {
            {decks::DeckControl::OpenFile, &d.openFile},
            {decks::DeckControl::Play, &d.play},
            {decks::DeckControl::Pause, &d.pause},
            {decks::DeckControl::Stop, &d.stop},
            {decks::DeckControl::Cue, &d.cue},
            {decks::DeckControl::CueBack, &d.cueBack},
            {decks::DeckControl::CueForward, &d.cueForward},
            {decks::DeckControl::PlayCue, &d.playCue},
            {decks::DeckControl::ResetCue, &d.resetCue},
            {decks::DeckControl::PitchZero, &d.pitchZero},
            {decks::DeckControl::BendMinus, &d.bendMinus},
            {decks::DeckControl::BendPlus, &d.bendPlus},
            {decks::DeckControl::Speed22, &d.speed22},
            {decks::DeckControl::Speed44, &d.speed44},
        };
        for (const auto& [which, button] : buttons)
            if (name == decks::controlName(side, which)) return {button};
        if (name == decks::controlName(side, decks::DeckControl::Pitch)) return {nullptr, &d.pitch};
        if (name == decks::controlName(side, decks::DeckControl::Volume))
            return {nullptr, &d.volume};
    }
    return {};
}

}  // namespace

QString applySessionAction(HeadlessProgram& program, const SessionAction& action) {
    MainWindow& window = program.window();
    switch (action.type) {
        case SessionAction::End:
            return {};
        case SessionAction::Load: {
            // As the next-song box dropped on that deck: the song becomes the playlist's entry.
            playlist::PlaylistController& list = program.playlist();
            list.loadsongs_to_playlist({action.path});
            window.startNextSongDrag();
            if (action.target == "left")
                window.do_dragDrop();
            else
                window.do_dragdrop_RIGHT();
            return {};
        }
        case SessionAction::Playlist:
            program.playlist().open_playlist(action.path);
            return {};
        case SessionAction::Key:
        case SessionAction::KeyUp:
            return QStringLiteral("keyboard map not built yet");
        default:
            break;
    }
    const Found found = findControl(window, action.target, action.index);
    if (action.type == SessionAction::Set) {
        if (!found.slider) return "no slider named '" + action.target + "'";
        found.slider->setValue(action.value);
        return {};
    }
    if (found.text && action.type == SessionAction::Down) {
        found.text->startDrag();
        return {};
    }
    if (!found.button) return "no button named '" + action.target + "'";
    const Qt::MouseButton mouse = action.rightButton ? Qt::RightButton : Qt::LeftButton;
    if (action.type == SessionAction::Click)
        found.button->click();
    else if (action.type == SessionAction::Down)
        found.button->pressMouse(mouse);
    else
        found.button->releaseMouse(mouse);
    return {};
}

SessionRunResult runSession(HeadlessProgram& program, const std::vector<SessionAction>& actions,
                            std::int64_t endMs, const HeadlessProgram::Sink& sink) {
    SessionRunResult result;
    for (const SessionAction& action : actions) {
        if (action.ms >= endMs) break;
        program.runUntil(action.ms, sink);
        if (action.type == SessionAction::End) {
            result.endedAtMs = action.ms;
            return result;
        }
        const QString error = applySessionAction(program, action);
        if (!error.isEmpty()) {
            result.errorLine = action.line;
            result.error = error;
            return result;
        }
    }
    program.runUntil(endMs, sink);
    result.endedAtMs = endMs;
    return result;
}

}  // namespace kelvra::app
