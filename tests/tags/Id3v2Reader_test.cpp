#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TagFixtures.h"
#include "tags/Id3v2Reader.h"
#include "tags/TagText.h"

using namespace kelvra::tags;
using namespace kelvra::test;

namespace {

// Writes `bytes` to a file and reads it the way every caller does.
struct Read {
    bool header = false;
    ID3v2Slots tag;
};

Read readFile(std::string_view bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.mp3"));
    EXPECT_TRUE(writeBytes(path, bytes));
    Read read;
    read.header = readID3v2Header(path, read.tag);
    if (read.header) {
        EXPECT_FALSE(readID3v2Frames(path, read.tag));
    }
    return read;
}

}  // namespace

TEST(Id3v2Reader, HeaderGivesSynchsafeSizePlusTen) {
    ID3v2Slots tag;
    EXPECT_FALSE(parseID3v2Header("ID2\x03", tag));
    EXPECT_EQ(tag.tagSize, 1);
    // Only the low seven bits of the first three size bytes count; the last counts whole.
    ASSERT_TRUE(parseID3v2Header(std::string_view("ID3\x03\x00\x00\xff\x81\x82\x83", 10), tag));
    EXPECT_EQ(tag.tagSize, 0x7F * 2097152.0 + 1 * 16384.0 + 2 * 128.0 + 0x83 + 10);
    EXPECT_FALSE(readFile("RIFF....").header);
}

TEST(Id3v2Reader, Version23SlotsKeepTheRawBodies) {
    const std::string frames =
        frame("TIT2", std::string("\0Song", 5)) + frame("TPE1", std::string("\0Band", 5)) +
        frame("COMM", std::string("\0eng\0Great", 10)) +
        frame("TYER", std::string("\0"
                                  "1999",
                                  5)) +
        frame("TCON", std::string("\0(17)", 5)) +
        frame("TRCK", std::string("\0"
                                  "3",
                                  2)) +
        frame("APIC", std::string(40, 'x')) + frame("TIT2", std::string("\0Second", 7));
    const Read read = readFile(id3v2Tag(frames, 20) + fakeAudio(100));
    ASSERT_TRUE(read.header);
    EXPECT_EQ(read.tag.tagSize, frames.size() + 20 + 10);
    EXPECT_EQ(read.tag.title, QString::fromLatin1("\0Second", 7));  // the second TIT2 wins
    EXPECT_EQ(read.tag.artist, QString::fromLatin1("\0Band", 5));
    EXPECT_EQ(read.tag.comment, QString::fromLatin1("\0eng\0Great", 10));
    EXPECT_EQ(cleanTagText(read.tag.comment), QStringLiteral("engGreat"));
    EXPECT_EQ(read.tag.year.size(), 5);
    EXPECT_EQ(cleanTagText(read.tag.genre), QStringLiteral("(17)"));
    EXPECT_EQ(cleanTagText(read.tag.track), QStringLiteral("3"));
    EXPECT_TRUE(read.tag.album.isEmpty());
}

TEST(Id3v2Reader, SizesPaddingAndHostileTagsEndTheWalk) {
    // Header then padding at once: nothing filled.
    EXPECT_TRUE(readFile(id3v2Tag("", 50) + fakeAudio(10)).tag.title.isEmpty());

    // The top bit of a 2.3 frame size is ignored.
    std::string topBit = frame("TIT2", std::string("\0Song", 5));
    topBit[4] = char(0x80);
    EXPECT_EQ(cleanTagText(readFile(id3v2Tag(topBit, 4)).tag.title), QStringLiteral("Song"));

    // A size field of 0 still has its first frame looked at, even past the stated tag.
    const Read zero = readFile(
        id3v2Tag(frame("TIT2", std::string("\0Zero", 5)) + frame("TPE1", std::string("\0No", 3)), 0,
                 3, 0, 0));
    EXPECT_EQ(cleanTagText(zero.tag.title), QStringLiteral("Zero"));
    EXPECT_TRUE(zero.tag.artist.isEmpty());

    // A frame claiming more than the file holds ends the walk; earlier slots stay.
    const Read cut = readFile(id3v2Tag(frame("TPE1", std::string("\0Kept", 5)) + "TIT2" +
                                       bigEndian32(0x7FFFFFF0) + std::string(2, '\0') + "abc"));
    EXPECT_EQ(cleanTagText(cut.tag.artist), QStringLiteral("Kept"));
    EXPECT_TRUE(cut.tag.title.isEmpty());

    // A tag size far past the file is clamped to it.
    const Read huge =
        readFile(id3v2Tag(frame("TALB", std::string("\0Disc", 5)), 0, 3, 0, 0x0FFFFFFF));
    EXPECT_EQ(cleanTagText(huge.tag.album), QStringLiteral("Disc"));
    EXPECT_EQ(huge.tag.tagSize, 0x0FFFFFFF + 10.0);

    // Truncated inside the header: no crash, no slots.
    EXPECT_TRUE(readFile("ID3\x03").tag.title.isEmpty());
}

TEST(Id3v2Reader, OtherVersionsAndEncodingsFillTheSameSlots) {
    // 2.4: synchsafe frame sizes (a 200-byte body would read as 328 as a plain number) and the
    // recording time as the year; UTF-8 text.
    const std::string longTitle = std::string("\x03") + std::string(199, 'a');
    const Read v24 = readFile(id3v2Tag(frame("TIT2", longTitle, 4) +
                                           frame("TPE1",
                                                 "\x03"
                                                 "Bj\xc3\xb6rk",
                                                 4) +
                                           frame("TDRC",
                                                 std::string("\0"
                                                             "2001",
                                                             5),
                                                 4),
                                       10, 4));
    EXPECT_EQ(cleanTagText(v24.tag.title), QString(199, u'a'));
    EXPECT_EQ(cleanTagText(v24.tag.artist), QStringLiteral("Bj\u00F6rk"));
    EXPECT_EQ(cleanTagText(v24.tag.year), QStringLiteral("2001"));

    // 2.2: three-character identifiers and sizes.
    const Read v22 = readFile(id3v2Tag(
        frame22("TT2", std::string("\0Old", 4)) + frame22("TP1", std::string("\0Timer", 6)), 0, 2));
    EXPECT_EQ(cleanTagText(v22.tag.title), QStringLiteral("Old"));
    EXPECT_EQ(cleanTagText(v22.tag.artist), QStringLiteral("Timer"));

    // UTF-16 with either byte order, UTF-16BE, and a UTF-16 comment with its own BOMs.
    const std::string le("\x01\xff\xfe\x1f\x04\x40\x04\x38\x04\0\0", 11);  // "При"
    const std::string be("\x01\xfe\xff\x6f\x22\x00\x41", 7);               // "漢A"
    const std::string be2("\x02\x00\x4b\x00\x31", 5);                      // "K1"
    const std::string comm(
        "\x01"
        "eng"
        "\xff\xfe\0\0"
        "\xff\xfe"
        "h\0i\0",
        14);
    const Read wide = readFile(
        id3v2Tag(frame("TIT2", le) + frame("TPE1", be) + frame("TALB", be2) + frame("COMM", comm)));
    EXPECT_EQ(cleanTagText(wide.tag.title), QStringLiteral("\u041F\u0440\u0438"));
    EXPECT_EQ(cleanTagText(wide.tag.artist), QStringLiteral("\u6F22A"));
    EXPECT_EQ(cleanTagText(wide.tag.album), QStringLiteral("K1"));
    EXPECT_EQ(cleanTagText(wide.tag.comment), QStringLiteral("enghi"));

    // Single-byte text above 0x7F reads through Windows-1252.
    const Read euro = readFile(id3v2Tag(frame("TIT2", std::string("\0"
                                                                  "5\x80 caf\xe9",
                                                                  8))));
    EXPECT_EQ(cleanTagText(euro.tag.title), QStringLiteral("5\u20AC caf\u00E9"));
}

TEST(Id3v2Reader, UnsynchronisationAndExtendedHeadersAreUndone) {
    // 2.3, whole tag unsynchronised: the 0xFF 0x00 pairs inside lose their 0x00, and the frame
    // size counts the restored bytes.
    const std::string body(
        "\0\xff"
        "A",
        3);
    std::string frames = frame("TIT2", body);
    std::string unsynced;
    for (char c : frames) {
        unsynced += c;
        if (static_cast<unsigned char>(c) == 0xFF) unsynced += '\0';
    }
    const Read v23 = readFile(id3v2Tag(unsynced, 0, 3, 0x80) + fakeAudio(20));
    EXPECT_EQ(cleanTagText(v23.tag.title), QStringLiteral("\u00FF"
                                                          "A"));

    // 2.4: per-frame unsynchronisation with a data length indicator.
    const std::string v24Body = std::string(4, '\0') + std::string(
                                                           "\0\xff\0"
                                                           "B",
                                                           4);
    const Read v24 = readFile(id3v2Tag(frame("TIT2", v24Body, 4, 0x03), 0, 4));
    EXPECT_EQ(cleanTagText(v24.tag.title), QStringLiteral("\u00FF"
                                                          "B"));

    // Extended headers: 2.3 counts its size without the size field, 2.4 with it.
    const std::string ext23 = bigEndian32(6) + std::string(6, '\0');
    EXPECT_EQ(
        cleanTagText(
            readFile(id3v2Tag(ext23 + frame("TIT2", std::string("\0X", 2)), 0, 3, 0x40)).tag.title),
        QStringLiteral("X"));
    const std::string ext24 = synchsafe32(6) + bytes("\x01\0");
    EXPECT_EQ(
        cleanTagText(readFile(id3v2Tag(ext24 + frame("TIT2", std::string("\0Y", 2), 4), 0, 4, 0x40))
                         .tag.title),
        QStringLiteral("Y"));
}
