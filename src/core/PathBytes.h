// File paths as the file system holds them: bytes, usually but not always UTF-8. A path read
// from a playlist or the command line is carried in a QString without losing a byte: valid
// UTF-8 decodes as usual, and every byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC00 + byte, which no real text contains. Every open of such a path goes through
// pathToBytes(). Any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace kelvra {

QString pathFromBytes(const QByteArray& bytes);
QByteArray pathToBytes(const QString& path);
inline std::string pathToStdString(const QString& path) {
    return pathToBytes(path).toStdString();
}
// For showing: each byte kept as a lone surrogate is shown as its Latin-1 character, the most
// likely meaning of a single stray byte in a file name.
QString readablePath(const QString& path);

}  // namespace kelvra
