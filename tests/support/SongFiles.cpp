#include "support/SongFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/PathBytes.h"

namespace kelvra::test {

QByteArray utf16Text(const QString& text) {
    QByteArray body("\x01\xFF\xFE", 3);
    for (const QChar c : text) {
        body += char(c.unicode() & 0xFF);
        body += char(c.unicode() >> 8);
    }
    return body;
}

QByteArray commentText(const QString& text) {
    QByteArray body("\x01", 1);
    body += "eng";
    body += QByteArray("\xFF\xFE\0\0", 4);  // an empty description, NUL-ended
    return body + utf16Text(text).mid(1);
}

QByteArray id3v2Tag(const std::vector<Frame>& frames) {
    QByteArray body;
    for (const Frame& frame : frames) {
        const auto size = quint32(frame.body.size());
        body += frame.id;
        body += char(size >> 24);
        body += char(size >> 16);
        body += char(size >> 8);
        body += char(size);
        body += QByteArray(2, '\0');
        body += frame.body;
    }
    const auto size = quint32(body.size());
    QByteArray tag("ID3\x03\x00\x00", 6);
    // The tag's size in four 7-bit bytes.
    tag += char((size >> 21) & 0x7F);
    tag += char((size >> 14) & 0x7F);
    tag += char((size >> 7) & 0x7F);
    tag += char(size & 0x7F);
    return tag + body;
}

QByteArray id3v1Block(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                      const QByteArray& comment, unsigned char genre) {
    const auto field = [](const QByteArray& text, int size) {
        return text.left(size) +
               QByteArray(size - int(std::min<qsizetype>(text.size(), size)), '\0');
    };
    return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field("2001", 4) +
           field(comment, 30) + char(genre);
}

bool writeSongFile(const QString& path, const QByteArray& tag, int bodyBytes, int seed,
                   const QByteArray& tail) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(QString::fromLocal8Bit(pathToBytes(path)));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray body(bodyBytes, '\0');
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (char& byte : body) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    return file.write(tag + body + tail) == tag.size() + body.size() + tail.size();
}

bool writeTaggedMp3(const QString& path, const QString& artist, const QString& title,
                    const QString& album, const QString& genre, int seed) {
    std::vector<Frame> frames = {{"TPE1", utf16Text(artist)}, {"TIT2", utf16Text(title)}};
    if (!album.isEmpty()) frames.push_back({"TALB", utf16Text(album)});
    if (!genre.isEmpty()) frames.push_back({"TCON", utf16Text(genre)});
    return writeSongFile(path, id3v2Tag(frames), 4096, seed);
}

}  // namespace kelvra::test
