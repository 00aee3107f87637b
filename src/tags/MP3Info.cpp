#include "tags/MP3Info.h"

#include <QFile>
#include <QFileInfo>

#include "core/FileHelpers.h"
#include "tags/Id3v1.h"
#include "tags/TagText.h"

namespace kelvra::tags {

void clsMP3Info::setFilename(const QString& path) {
    filename_ = path;
    isFileID3v1_ = isMpegAudioFile(path);
    // The genre of a file that is not MPEG audio is left as the previous file set it.
    const QString previousGenre = info_.genre;
    info_ = InfoRecord{};
    if (!isFileID3v1_) {
        info_.genre = previousGenre;
        return;
    }

    QByteArray block;
    QFile file(path);
    if (openRegularFile(file) && file.size() >= qint64(kID3v1Size) &&
        file.seek(file.size() - qint64(kID3v1Size))) {
        block = file.read(qint64(kID3v1Size));
    }
    const std::string_view bytes(block.constData(), static_cast<std::size_t>(block.size()));
    if (isID3v1Block(bytes)) {
        info_ = parseID3v1Fields(bytes);
    } else {
        const InfoRecord guessed = parseFileName(path);
        info_.title = guessed.title;
        info_.artist = guessed.artist;
        info_.album = guessed.album;
    }
}

QString clsMP3Info::Title() const {
    return trimSpaces(info_.title);
}
QString clsMP3Info::Artist() const {
    return trimSpaces(info_.artist);
}
QString clsMP3Info::Album() const {
    return trimSpaces(info_.album);
}
QString clsMP3Info::Year() const {
    return trimSpaces(info_.year);
}
QString clsMP3Info::Comment() const {
    return trimSpaces(info_.comment);
}
QString clsMP3Info::Genre() const {
    return trimSpaces(info_.genre);
}

bool clsMP3Info::isMpegAudioFile(const QString& path) {
    // A containment test, not a test of the last characters: "song.mp3.wav" counts too.
    const QString lower = path.toLower();
    const bool mpegName = lower.contains(QStringLiteral(".mp3")) ||
                          lower.contains(QStringLiteral(".mp2")) ||
                          lower.contains(QStringLiteral(".mp1"));
    return mpegName && QFileInfo(path).isFile();
}

}  // namespace kelvra::tags
