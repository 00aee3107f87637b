// Session scripts: one timed action a line, run against the program's controls by name. The
// parser is plain text in, actions or an error out, so it never trusts what it reads.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvra::session {

struct SessionAction {
    enum Type { Load, Playlist, Click, Down, Up, Set, Key, KeyUp, Turn, Midi, Effect, Param, End } type = Click;
    std::int64_t ms = 0;        // on the program's clock
    QString target;  // control name, deck side ("left"/"right"), key name, effect or parameter
    QString path;               // Load and Playlist
    int index = -1;             // a control's index (speedCB 1, monitorCMB 2), or -1
    int value = 0;              // Set; Turn: ticks of the jog wheel; Effect, Param: the slot
    double number = 0;          // Param: the value, in the parameter's own units
    std::uint8_t midi[3] = {};  // Midi: status and two data bytes, through the mapping
    bool rightButton = false;
    int modifiers = 0;  // Key and KeyUp: 1 Shift, 2 Ctrl, 4 Alt
    int line = 0;
};

struct SessionParse {
    std::vector<SessionAction> actions;  // in time order; one time keeps the file's order
    int errorLine = 0;                   // 0: no error
    QString error;
};

SessionParse parseSessionScript(const QByteArray& text);

}  // namespace kelvra::session
