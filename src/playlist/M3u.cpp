#include "playlist/M3u.h"

#include <QDir>
#include <QFile>

#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "core/SaveFile.h"

namespace kelvra::playlist {

QString trimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

namespace {
const QByteArray kByteOrderMark("\xEF\xBB\xBF");
}  // namespace

ByteOrderMark byteOrderMarkOf(const QByteArray& content) {
    return content.startsWith(kByteOrderMark) ? ByteOrderMark::With : ByteOrderMark::Without;
}

QStringList readM3uLines(const QByteArray& content, int* linesStarted) {
    // Split as bytes: a path is kept exactly as the file holds it, UTF-8 or not.
    QStringList lines;
    int started = 0;
    qsizetype start = byteOrderMarkOf(content) == ByteOrderMark::With ? kByteOrderMark.size() : 0;
    for (;;) {
        ++started;
        const qsizetype cr = start < content.size() ? content.indexOf('\r', start) : -1;
        if (cr < 0) break;
        qsizetype first = start;
        qsizetype last = cr;
        while (first < last && content.at(first) == ' ')
            ++first;
        while (last > first && content.at(last - 1) == ' ')
            --last;
        lines.push_back(pathFromBytes(content.mid(first, last - first)));
        start = cr + 2;
    }
    if (linesStarted) *linesStarted = started;
    return lines;
}

bool endsLinesInLfAlone(const QByteArray& content) {
    return content.contains('\n') && !content.contains('\r');
}

QString lfAloneHint(const QString& path) {
    return QStringLiteral("%1 holds no songs: its lines end in LF alone, where CR LF is expected.")
        .arg(QDir::toNativeSeparators(path));
}

std::optional<QByteArray> readWholeFile(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    // A playlist of a hundred thousand songs is a few megabytes; a "playlist" of gigabytes is
    // not one, and is not read into memory.
    constexpr qint64 kLargestPlaylist = 64ll << 20;
    return readRegularFile(path, kLargestPlaylist);
}

QString writeM3uFile(const QString& path, const QStringList& paths, ByteOrderMark mark) {
    if (path.isEmpty()) return QStringLiteral("the playlist has no file name");
    QByteArray data = mark == ByteOrderMark::With ? kByteOrderMark : QByteArray();
    for (const QString& line : paths) {
        data += pathToBytes(line);
        data += "\r\n";
    }
    return saveWholeFile(path, data);
}

}  // namespace kelvra::playlist
