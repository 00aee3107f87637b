// A controller mapping file read into bindings: which note or cc moves which control, and which
// lights follow which buttons. Only the text is checked here; whether a named control exists,
// and is of the right kind, is the mapper's business when it binds. Plain data, any thread.
//
// One binding a line; `#` starts a comment anywhere on a line; numbers are decimal or 0x-hex;
// channels count 1..16; keywords are matched without regard to case, control names exactly:
//   note CHANNEL NUMBER CONTROL [INDEX]
//   cc CHANNEL NUMBER CONTROL [INDEX] [absolute | relative | relative64 | 14bit NUMBER_LSB]
//      [invert]
//   out note|cc CHANNEL NUMBER LAMP [INDEX]
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace kelvra::controllers {

enum class MessageKind { Note, Cc };

// How a cc's value reads.
enum class CcMode {
    Absolute,    // 0..127 over the control's range
    Relative,    // an encoder in two's complement: 1..63 forward, 127..65 back (-1..-63)
    Relative64,  // an encoder around 64: 65 is one step forward, 63 one back
    FourteenBit  // MSB on the binding's number, LSB on lsbNumber: 0..16383 over the range
};

enum class Direction { Normal, Inverted };

// What moves a control. `line` is the file's line number, counted from 1.
struct InputBinding {
    int line = 0;
    MessageKind message = MessageKind::Note;
    int channel = 0;  // 0..15, as on the wire
    int number = 0;   // 0..127
    QString control;
    int index = -1;  // the element of a control group; -1 for a lone control
    CcMode mode = CcMode::Absolute;
    int lsbNumber = -1;  // FourteenBit only
    Direction direction = Direction::Normal;

    // Whether this binding listens to that cc or note (a 14-bit binding to both its numbers).
    bool listensTo(MessageKind kind, int channel, int number) const;
};

// A light on the controller following a button's lit state.
struct LightBinding {
    int line = 0;
    MessageKind message = MessageKind::Note;
    int channel = 0;
    int number = 0;
    QString control;
    int index = -1;
};

// A line that could not be used, and why, in words for the DJ.
struct MappingProblem {
    int line = 0;  // 0: the file as a whole
    QString message;
};

struct MidiMapping {
    std::vector<InputBinding> inputs;
    // Lines that listen to a note or cc an earlier line binds already: skipped (the first one
    // counts) and told among the problems, kept here so that learning replaces them too.
    std::vector<InputBinding> duplicates;
    std::vector<LightBinding> lights;
    std::vector<MappingProblem> problems;
};

// Every good line becomes a binding; every bad one a problem, skipped. Never fails as a whole.
MidiMapping parseMapping(QByteArrayView text);

// The binding as a line of a mapping file (no line end), in the form parseMapping reads back.
QByteArray formatBinding(const InputBinding& binding);

// "line 12: ..." for showing the DJ.
QString describe(const MappingProblem& problem);

}  // namespace kelvra::controllers
