#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>

#include "SaveFixtures.h"
#include "TagFixtures.h"
#include "tags/Id3v2Reader.h"
#include "tags/Id3v2Writer.h"
#include "tags/SafeSave.h"
#include "tags/TagText.h"

using namespace kelvra::tags;
using namespace kelvra::test;

namespace {

// Where the audio starts in a file: after its ID3v2 tag, if any.
QByteArray audioOf(const QString& path) {
    const QByteArray bytes = contents(path);
    ID3v2Slots tag;
    if (!parseID3v2Header(std::string_view(bytes.constData(), std::size_t(bytes.size())), tag))
        return bytes;
    return bytes.mid(qsizetype(tag.tagSize));
}

ID3v2Slots read(const QString& path) {
    ID3v2Slots tag;
    if (readID3v2Header(path, tag)) readID3v2Frames(path, tag);
    return tag;
}

class RecordingWriter final : public ID3v2TagWriter {
  public:
    bool setField(int field, const QString& text) override {
        fields[field] = text;
        return true;
    }
    bool writeFile(const QString& path) override {
        written = path;
        return succeed;
    }
    std::map<int, QString> fields;
    QString written;
    bool succeed = true;
};

}  // namespace

TEST(Id3v2Writer, SlotsGoOutCleanedByFieldNumber) {
    ID3v2Slots tag;
    tag.title = QString::fromLatin1("\0Song ", 6);
    tag.artist = QStringLiteral("Band");
    tag.album = QStringLiteral("Disc");
    tag.year = QStringLiteral("1999");
    tag.genre = QString::fromLatin1("\0Rock", 5);
    tag.comment = QStringLiteral("Hi\r\n");
    RecordingWriter writer;
    EXPECT_EQ(writeID3v2Tag(writer, QStringLiteral("/a.mp3"), tag), 1);
    const std::map<int, QString> expected = {
        {2, QStringLiteral("Song")}, {3, QStringLiteral("Band")}, {4, QStringLiteral("Disc")},
        {5, QStringLiteral("1999")}, {6, QStringLiteral("Rock")}, {7, QStringLiteral("Hi")}};
    EXPECT_EQ(writer.fields, expected);
    EXPECT_EQ(writer.written, QStringLiteral("/a.mp3"));
    writer.succeed = false;
    EXPECT_EQ(writeID3v2Tag(writer, QStringLiteral("/a.mp3"), tag), 0);

    TagLibID3v2Writer real;
    EXPECT_FALSE(real.setField(1, QStringLiteral("x")));
    EXPECT_FALSE(real.setField(8, QStringLiteral("x")));
    EXPECT_EQ(writeID3v2Tag(real, QStringLiteral("/no/such/file.mp3"), tag), 0);
}

TEST(Id3v2Writer, WritesTheTagAndKeepsAudioAndId3v1) {
    ASSERT_FALSE(sampleMp3().isEmpty());
    QTemporaryDir dir;
    const QString path = copyInto(sampleMp3(), dir, QStringLiteral("song.mp3"));
    // An ID3v1 tag at the end must survive an ID3v2 save.
    const std::string v1 = id3v1Block("V1", "", "", "", "", 0);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(v1.data(), qint64(v1.size()));
    }
    const QByteArray audioBefore = audioOf(path);

    ID3v2Slots tag;
    tag.title = QStringLiteral("\u65E5\u672C Title");  // needs more than one byte a character
    tag.artist = QStringLiteral("Bj\u00F6rk");
    tag.album = QStringLiteral("Disc");
    tag.year = QStringLiteral("1999");
    tag.genre = QStringLiteral("Trip Hop");
    tag.comment = QStringLiteral("Nice");
    TagLibID3v2Writer writer;
    ASSERT_EQ(writeID3v2Tag(writer, path, tag), 1) << writer.lastError().toStdString();

    const ID3v2Slots back = read(path);
    EXPECT_EQ(cleanTagText(back.title), tag.title);
    EXPECT_EQ(cleanTagText(back.artist), tag.artist);
    EXPECT_EQ(cleanTagText(back.album), tag.album);
    EXPECT_EQ(cleanTagText(back.year), tag.year);
    EXPECT_EQ(cleanTagText(back.genre), tag.genre);
    EXPECT_TRUE(cleanTagText(back.comment).endsWith(tag.comment));
    EXPECT_EQ(audioOf(path), audioBefore);
    EXPECT_TRUE(contents(path).endsWith(QByteArray::fromStdString(v1)));
    EXPECT_TRUE(strayFiles(dir, path).isEmpty());

    // Emptied fields lose their frames.
    tag.album.clear();
    ASSERT_EQ(writeID3v2Tag(writer, path, tag), 1);
    EXPECT_TRUE(read(path).album.isEmpty());
    EXPECT_EQ(audioOf(path), audioBefore);
}

TEST(Id3v2Writer, FullDiskAndKilledSavesLeaveTheOriginal) {
    ASSERT_FALSE(sampleMp3().isEmpty());
    QTemporaryDir dir;
    const QString path = copyInto(sampleMp3(), dir, QStringLiteral("song.mp3"));
    const QByteArray original = contents(path);
    const QString bigTitle(3000, u'x');  // outgrows the tag's padding

    const int code = runLimited(std::uint64_t(original.size()) + 100, [&] {
        ID3v2Slots tag;
        tag.title = bigTitle;
        TagLibID3v2Writer writer;
        return writeID3v2Tag(writer, path, tag) == 0 ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contents(path), original);
    EXPECT_TRUE(strayFiles(dir, path).isEmpty());

    const QByteArray audio = audioOf(path);
    for (int delay : {0, 1000, 3000, 6000, 10000, 20000}) {
        killDuring(delay, [&] {
            ID3v2Slots tag;
            tag.title = bigTitle;
            TagLibID3v2Writer writer;
            writeID3v2Tag(writer, path, tag);
        });
        EXPECT_EQ(audioOf(path), audio) << delay;
        const QString title = cleanTagText(read(path).title);
        EXPECT_TRUE(title == bigTitle || contents(path) == original) << delay;
        EXPECT_EQ(unsweptLeftovers(strayFiles(dir, path)), QStringList()) << delay;
    }
    // The same save goes through when nothing stops it, and sweeps up after a killed one.
    ID3v2Slots tag;
    tag.title = bigTitle;
    TagLibID3v2Writer writer;
    EXPECT_EQ(writeID3v2Tag(writer, path, tag), 1);
    EXPECT_EQ(audioOf(path), audio);
    EXPECT_EQ(strayFiles(dir, path), QStringList());
}

// Files the writer will not rewrite: each refusal says what is wrong with the file, and the file
// is left byte for byte.
TEST(Id3v2Writer, HeadsItCannotRewriteAreRefusedWithTheirReason) {
    ASSERT_FALSE(sampleMp3().isEmpty());
    QTemporaryDir dir;
    const QByteArray mp3 = audioOf(sampleMp3());
    const std::string audio(mp3.constData(), std::size_t(mp3.size()));
    const std::string title = frame("TIT2", std::string("\0Old", 4));
    ID3v2Slots tag;
    tag.title = QStringLiteral("New");

    const auto refused = [&](const std::string& bytes, const char* reason) {
        const QString path = dir.filePath(QStringLiteral("song.mp3"));
        ASSERT_TRUE(writeBytes(path, bytes));
        TagLibID3v2Writer writer;
        EXPECT_EQ(writeID3v2Tag(writer, path, tag), 0) << reason;
        EXPECT_TRUE(writer.lastError().contains(QLatin1String(reason)))
            << writer.lastError().toStdString();
        EXPECT_FALSE(writer.lastError().contains(QLatin1String("audio data changed")));
        EXPECT_EQ(contents(path), QByteArray::fromStdString(bytes)) << reason;
        EXPECT_TRUE(strayFiles(dir, path).isEmpty());
    };
    // A size with the top bit of a byte set is not a size the format can hold.
    std::string badSize = id3v2Tag(title, 64);
    badSize[8] = char(0x81);
    refused(badSize + audio, "header");
    // Tags stacked one on another, far more than any tagger leaves behind.
    std::string stacked;
    for (int i = 0; i < 20000; ++i)
        stacked += id3v2Tag(title, 0);
    refused(stacked + audio, "stacked");

    // A few stacked tags (older taggers left them) are rewritten as one, the audio kept.
    const QString path = dir.filePath(QStringLiteral("few.mp3"));
    ASSERT_TRUE(writeBytes(path, id3v2Tag(title, 16) + id3v2Tag(title, 0) + audio));
    TagLibID3v2Writer writer;
    EXPECT_EQ(writeID3v2Tag(writer, path, tag), 1) << writer.lastError().toStdString();
    EXPECT_EQ(cleanTagText(read(path).title), QStringLiteral("New"));
    EXPECT_TRUE(contents(path).endsWith(mp3));
}

TEST(Id3v2Writer, AFullDiskIsSaidToBeFull) {
    ASSERT_FALSE(sampleMp3().isEmpty());
    const QByteArray original = contents(sampleMp3());
    // Room for the song and its copy, not for the much larger tag.
    const std::size_t room = (2 * (std::size_t(original.size()) / 4096 + 1) + 2) * 4096;
    const int code = runOnNearlyFullDisk(room, [&](const QString& folder) {
        const QString path = folder + QStringLiteral("/song.mp3");
        if (!QFile::copy(sampleMp3(), path)) return 10;
        ID3v2Slots tag;
        tag.title = QString(60000, u'x');
        TagLibID3v2Writer writer;
        if (writeID3v2Tag(writer, path, tag) != 0) return 11;
        if (!writer.lastError().contains(QLatin1String("not enough room on the disk")) ||
            !writer.lastError().contains(systemErrorText(ENOSPC)))
            return 12;
        if (contents(path) != original) return 13;
        return QDir(folder).entryList(QDir::Files | QDir::Hidden).size() == 2 ? 0 : 14;
    });
    if (code == 77) GTEST_SKIP() << "a small disk of its own cannot be mounted here";
    EXPECT_EQ(code, 0);
}
