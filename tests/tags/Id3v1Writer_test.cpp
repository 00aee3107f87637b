#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include "SaveFixtures.h"
#include "TagFixtures.h"
#include "support/ScriptedDialogs.h"
#include "tags/Id3v1Writer.h"
#include "tags/MP3Info.h"

using namespace kelvra;
using namespace kelvra::tags;
using namespace kelvra::test;

namespace {

const QString kMessage =
    QStringLiteral("Cannot Save the information. Please make sure that the file is not read-only.");

ID3v1Record record(const QString& title) {
    ID3v1Record r;
    r.title = title;
    r.artist = QStringLiteral("An Artist Whose Name Is Longer Than Thirty");
    r.album = QStringLiteral("Disc");
    r.year = QStringLiteral("19995");
    r.comment = QStringLiteral("Caf\u00E9 \u20AC");
    return r;
}

}  // namespace

TEST(Id3v1Writer, AppendsOnceThenRewritesInPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    const std::string audio = fakeAudio(1000);
    ASSERT_TRUE(writeBytes(path, audio));
    ScriptedDialogs dialogs;

    ASSERT_TRUE(writeID3v1Tag(dialogs, path, record(QStringLiteral("First"))));
    QByteArray saved = contents(path);
    ASSERT_EQ(saved.size(), 1000 + 128);
    EXPECT_EQ(saved.left(1000).toStdString(), audio);
    EXPECT_EQ(static_cast<unsigned char>(saved.back()), 255);  // a new tag without genre

    clsMP3Info info;
    info.setFilename(path);
    EXPECT_EQ(info.Title(), QStringLiteral("First"));
    EXPECT_EQ(info.Artist(), QStringLiteral("An Artist Whose Name Is Longer"));
    EXPECT_EQ(info.Year(), QStringLiteral("1999"));
    EXPECT_EQ(info.Comment(), QStringLiteral("Caf\u00E9 \u20AC"));
    EXPECT_TRUE(info.Genre().isEmpty());

    ID3v1Record second = record(QStringLiteral("Second"));
    second.genre = 17;
    ASSERT_TRUE(writeID3v1Tag(dialogs, path, second));
    ASSERT_TRUE(writeID3v1Tag(dialogs, path, record(QStringLiteral("Third"))));
    saved = contents(path);
    EXPECT_EQ(saved.size(), 1000 + 128);
    EXPECT_EQ(saved.left(1000).toStdString(), audio);
    info.setFilename(path);
    EXPECT_EQ(info.Title(), QStringLiteral("Third"));
    EXPECT_EQ(info.Genre(), QStringLiteral("Rock"));  // kept from the tag already there
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(strayFiles(dir, path).isEmpty());

    // A file of exactly one tag has its 125 bytes after "TAG" replaced.
    const QString bare = dir.filePath(QStringLiteral("bare.mp3"));
    ASSERT_TRUE(writeBytes(bare, id3v1Block("Old", "", "", "", "", 0)));
    ASSERT_TRUE(writeID3v1Tag(dialogs, bare, record(QStringLiteral("New"))));
    EXPECT_EQ(contents(bare).size(), 128);
    info.setFilename(bare);
    EXPECT_EQ(info.Title(), QStringLiteral("New"));
}

TEST(Id3v1Writer, ShortMissingAndReadOnlyFiles) {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    const QString tiny = dir.filePath(QStringLiteral("tiny.mp3"));
    const std::string bytes = "TAG" + fakeAudio(124);
    ASSERT_TRUE(writeBytes(tiny, bytes));
    EXPECT_FALSE(writeID3v1Tag(dialogs, tiny, record(QStringLiteral("x"))));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kMessage);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(dialogs.messages[0].title.isEmpty());
    EXPECT_EQ(contents(tiny).toStdString(), bytes);
    EXPECT_TRUE(strayFiles(dir, tiny).isEmpty());

    EXPECT_FALSE(writeID3v1Tag(dialogs, dir.filePath(QStringLiteral("gone.mp3")),
                               record(QStringLiteral("x"))));
    EXPECT_EQ(dialogs.messages.size(), 2u);

    const QString locked = dir.filePath(QStringLiteral("locked.mp3"));
    ASSERT_TRUE(writeBytes(locked, fakeAudio(300)));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    EXPECT_TRUE(writeID3v1Tag(dialogs, locked, record(QStringLiteral("Unlocked"))));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(locked).constData(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IWUSR);
    EXPECT_EQ(info.st_mode & 0077, 0044u);  // other permission bits are kept
    EXPECT_EQ(contents(locked).size(), 300 + 128);

    // A name at the folder's length limit still leaves room for the working copy's name.
    const QString longName = dir.filePath(QString(251, u'n') + QStringLiteral(".mp3"));
    ASSERT_TRUE(writeBytes(longName, fakeAudio(300)));
    EXPECT_TRUE(writeID3v1Tag(dialogs, longName, record(QStringLiteral("Long"))));
}

TEST(Id3v1Writer, FullDiskAndKilledSavesLeaveTheOriginal) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    const std::string original = fakeAudio(4 << 20);
    ASSERT_TRUE(writeBytes(path, original));

    // Room for the copy but not for the appended tag.
    const int code = runLimited(original.size() + 10, [&] {
        ScriptedDialogs dialogs;
        const bool saved = writeID3v1Tag(dialogs, path, record(QStringLiteral("Full")));
        return !saved && dialogs.messages.size() == 1 && dialogs.messages[0].text == kMessage ? 0
                                                                                              : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contents(path).toStdString(), original);
    EXPECT_TRUE(strayFiles(dir, path).isEmpty());

    // Killed at any moment, the file is either the old one or the whole new one.
    for (int delay : {0, 2000, 5000, 9000, 15000, 25000}) {
        killDuring(delay, [&] {
            ScriptedDialogs dialogs;
            writeID3v1Tag(dialogs, path, record(QStringLiteral("Killed")));
        });
        const QByteArray now = contents(path);
        ASSERT_TRUE(now.size() == qsizetype(original.size()) ||
                    now.size() == qsizetype(original.size() + 128))
            << delay;
        EXPECT_EQ(now.left(qsizetype(original.size())).toStdString(), original) << delay;
        EXPECT_EQ(unsweptLeftovers(strayFiles(dir, path)), QStringList()) << delay;
    }
    ScriptedDialogs dialogs;
    EXPECT_TRUE(writeID3v1Tag(dialogs, path, record(QStringLiteral("Unhindered"))));
    EXPECT_EQ(strayFiles(dir, path), QStringList());
}
