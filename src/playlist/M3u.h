// M3U playlist files: one path per line, CR LF line ends, no header. Paths are kept exactly as
// the file holds them (UTF-8, or other bytes through core/PathBytes.h); nothing is resolved, and
// lines starting with '#' are paths too.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace kelvra::playlist {

// Whether a playlist file begins with a UTF-8 byte order mark, and so should again when saved.
enum class ByteOrderMark { Without, With };
ByteOrderMark byteOrderMarkOf(const QByteArray& content);

// The lines of a playlist file's content (after its byte order mark, if it has one). A line ends at
// a carriage return, and the next line starts two characters later (the line feed that should
// follow). The text after the last carriage return is not a line, so a last line without a break is
// not read and a file with line feeds only holds no lines at all. Each line is trimmed of spaces
// (only spaces). `linesStarted` (optional) receives the number of lines begun, the unread last one
// included, which is how far the reader's entry counter moves.
QStringList readM3uLines(const QByteArray& content, int* linesStarted = nullptr);

// Whether the content's lines end in LF alone: it has line feeds but no carriage return, so it
// holds no lines at all (files written on systems whose lines end in LF).
bool endsLinesInLfAlone(const QByteArray& content);
// What to tell the user about such a file, `path` named.
QString lfAloneHint(const QString& path);

// The whole file read at once; nothing when it cannot be opened or read.
std::optional<QByteArray> readWholeFile(const QString& path);

// Writes every path followed by CR LF (after a byte order mark when `mark` asks), atomically: the
// data goes to a temporary file in the same folder, is flushed and then renamed over `path`, so a
// failed or interrupted save leaves the old file as it was. Empty when saved; otherwise which file
// failed and why ("cannot write FILE: No space left on device").
[[nodiscard]] QString writeM3uFile(const QString& path, const QStringList& paths,
                                   ByteOrderMark mark = ByteOrderMark::Without);

// "Trim" as the program means it: leading and trailing spaces only, no other white space.
QString trimSpaces(const QString& text);

}  // namespace kelvra::playlist
