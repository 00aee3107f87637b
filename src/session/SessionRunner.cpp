#include "session/SessionRunner.h"

#include "app/KeyCodes.h"

#include <algorithm>

namespace kelvra::session {
namespace {

// `key` presses the modifiers named, each by its own key-down, then the key; `keyup` lets go of
// the key, then of those modifiers, as fingers leave the keyboard.
QString pressKey(app::KeyboardMap& keyboard, const SessionAction& action) {
    const int code = app::keyCodeFromName(action.target);
    if (code == 0) return "no key named '" + action.target + "'";
    const int mask = action.modifiers;
    if (action.type == SessionAction::Key) {
        int held = mask & app::kShiftMask;
        for (auto [bit, key] :
             {std::pair{app::kCtrlMask, app::keys::Ctrl}, std::pair{app::kAltMask, app::keys::Alt}})
            if (mask & bit) keyboard.keyDown(key, held |= bit);
        keyboard.keyDown(code, mask);
        return {};
    }
    keyboard.keyUp(code, mask);
    int held = mask;
    for (auto [bit, key] :
         {std::pair{app::kAltMask, app::keys::Alt}, std::pair{app::kCtrlMask, app::keys::Ctrl}})
        if (mask & bit) keyboard.keyUp(key, held &= ~bit);
    return {};
}

// A control group's name with an index outside it (or none) is a wrong index, not a missing
// control: say which indices there are. Empty when the name is no group.
QString groupIndexError(const ControlRegistry::Lookup& found, const SessionAction& action) {
    const QString range = QStringLiteral("from %1 to %2").arg(found.lowest).arg(found.highest);
    switch (found.miss) {
        case ControlRegistry::Lookup::NeedsIndex:
            return action.target + " needs an index " + range;
        case ControlRegistry::Lookup::IndexOutOfRange:
            return action.target + " takes an index " + range + ", not " +
                   QString::number(action.index);
        default:
            return {};
    }
}

}  // namespace

QString applySessionAction(HeadlessProgram& program, const SessionAction& action) {
    app::MainWindow& window = program.window();
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
            return pressKey(window.keyboard(), action);
        case SessionAction::Midi:
            program.controller().handle({action.midi[0], action.midi[1], action.midi[2]});
            return {};
        case SessionAction::Effect:
            return window.effects().load(action.index, action.value, action.target);
        case SessionAction::Param:
            return window.effects().setParam(action.index, action.value, action.target,
                                             action.number);
        default:
            break;
    }
    const ControlRegistry::Lookup lookup =
        window.controls().registry.lookup(action.target, action.index);
    if (const QString wrong = groupIndexError(lookup, action); !wrong.isEmpty()) return wrong;
    const RegisteredControl none;
    const RegisteredControl& found = lookup.control ? *lookup.control : none;
    if (action.type == SessionAction::Turn) {
        if (!found.jog) return "no jog wheel named '" + action.target + "'";
        found.jog->turn(action.value);
        return {};
    }
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

std::int64_t sessionLengthMs(const std::vector<SessionAction>& actions,
                             std::optional<double> seconds) {
    if (seconds) return std::llrint(*seconds * 1000);
    for (const SessionAction& action : actions)  // in time order
        if (action.type == SessionAction::End) return action.ms;
    return kDefaultSessionMs;
}

SessionRunResult runSession(HeadlessProgram& program, const std::vector<SessionAction>& actions,
                            std::int64_t endMs, const HeadlessProgram::Sink& sink) {
    SessionRunResult result;
    for (const SessionAction& action : actions) {
        if (action.ms >= endMs) break;
        program.runUntil(action.ms, sink);
        if (action.type == SessionAction::End) continue;
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

}  // namespace kelvra::session
