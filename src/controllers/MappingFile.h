// The DJ's mapping files on disk: where they live, reading one safely, and putting a learned
// binding into one in place of the lines it conflicts with, every other byte kept. Any thread
// (plain file work); the UI calls it on its own thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "controllers/MidiMapping.h"

namespace kelvra::controllers {

inline constexpr char kMappingSuffix[] = ".map";
// A mapping is a few hundred lines; anything past this is not one, and is not read whole.
inline constexpr qint64 kMaxMappingFileSize = 1 << 20;

// GenericConfigLocation + "/kelvra/controllers/".
QString mappingFolder();
// The .map files there, by name.
QStringList mappingFiles();

// The file's bytes, or nothing and a message in `error`.
std::optional<QByteArray> readMappingText(const QString& path, QString* error);
// The file parsed; a file that cannot be read gives no bindings and one problem on line 0.
MidiMapping readMapping(const QString& path);

// A line of the file that a new binding would replace.
struct Conflict {
    int line = 0;
    QByteArray text;           // the line as it stands, without its end
    bool sameMessage = false;  // another binding listens to the same note or cc
    bool sameControl = false;  // the control is already bound by that kind of message
};

// The binding lines of `text` the new `binding` conflicts with. A control bound by a note and by
// a cc is not a conflict: a jog's touch and its turn, a button on two controllers.
std::vector<Conflict> findConflicts(QByteArrayView text, const InputBinding& binding);
// The text with the binding's line in place of the first conflicting line (the others removed),
// or added at the end; comments, lights and every other line are kept byte for byte, and the new
// line ends the way the file's lines do.
QByteArray withBinding(QByteArrayView text, const InputBinding& binding);
// withBinding() written over the file through a temporary copy (a failure leaves the file as it
// was); a file or folder that does not exist yet is made.
bool writeBinding(const QString& path, const InputBinding& binding, QString* error);

}  // namespace kelvra::controllers
