#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

#include "playlist/M3u.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>

#include <csignal>
#endif

namespace kelvra::playlist {
namespace {

TEST(M3uReading, LinesEndAtCarriageReturnsAndTheUnfinishedLastLineIsDropped) {
    int started = 0;
    EXPECT_EQ(readM3uLines("a.mp3\r\nb.mp3\r\nc.mp3", &started), (QStringList{"a.mp3", "b.mp3"}));
    EXPECT_EQ(started, 3);  // the unread last line still moves the entry counter

    EXPECT_EQ(readM3uLines("a.mp3\nb.mp3\n", &started), QStringList{});
    EXPECT_EQ(started, 1);
    EXPECT_EQ(readM3uLines("", &started), QStringList{});
    EXPECT_EQ(started, 1);

    // Blank lines, comments and headers are paths like any other line; only spaces are trimmed.
    EXPECT_EQ(readM3uLines("#EXTM3U\r\n\r\n  spaced.mp3  \r\n\ttab.mp3\r\n"),
              (QStringList{"#EXTM3U", "", "spaced.mp3", "\ttab.mp3"}));

    // A carriage return without a line feed still skips the character after it.
    EXPECT_EQ(readM3uLines("ab\rXcd\r\n"), (QStringList{"ab", "cd"}));
    // A final lone carriage return ends the last line.
    EXPECT_EQ(readM3uLines("only.mp3\r"), QStringList{"only.mp3"});
}

TEST(M3uReading, PathsAreKeptAsUtf8) {
    const QString path = QString::fromUtf8("/music/Björk – Jóga ♪.mp3");
    EXPECT_EQ(readM3uLines(path.toUtf8() + "\r\n"), QStringList{path});
}

TEST(M3uWriting, WritesCrLfAfterEveryLineAndReplacesAtomically) {
    QTemporaryDir dir;
    const QString file = dir.filePath("list.m3u");
    ASSERT_EQ(writeM3uFile(file, {QString::fromUtf8("/m/ä.mp3"), "", "/m/b.mp3"}), "");
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), QByteArray("/m/\xC3\xA4.mp3\r\n\r\n/m/b.mp3\r\n"));
    in.close();

    ASSERT_EQ(writeM3uFile(file, {}), "");
    EXPECT_EQ(QFileInfo(file).size(), 0);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.m3u"});

    EXPECT_NE(writeM3uFile(QString(), {"x"}), "");
    const QString missing = dir.filePath("missing/folder/list.m3u");
    EXPECT_TRUE(writeM3uFile(missing, {"x"}).startsWith("cannot write " + missing + ": "));
}

#ifdef Q_OS_UNIX
TEST(M3uWriting, AWriteCutShortLeavesTheOldFileAsItWas) {
    QTemporaryDir dir;
    const QString file = dir.filePath("keep.m3u");
    ASSERT_EQ(writeM3uFile(file, {"old.mp3"}), "");
    // A file size limit makes the write fail halfway, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QStringList many;
    for (int i = 0; i < 100; ++i)
        many.push_back(QStringLiteral("/music/song-%1.mp3").arg(i));
    const QString failure = writeM3uFile(file, many);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(failure, "cannot write " + file + ": File too large");
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), QByteArray("old.mp3\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.m3u"});
}
#endif

TEST(M3uReading, TrimRemovesSpacesOnly) {
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(trimSpaces("\ta\n"), "\ta\n");
    EXPECT_EQ(trimSpaces("   "), "");
}

// A path that is not UTF-8 is saved back as the same bytes, and the file it names opens.
TEST(M3uFiles, NonUtf8PathsSurviveReadAndWrite) {
    QTemporaryDir dir;
    const QByteArray song = QFile::encodeName(dir.path()) + "/caf\xe9.mp3";
    FILE* created = std::fopen(song.constData(), "wb");
    ASSERT_NE(created, nullptr);
    std::fputs("audio", created);
    std::fclose(created);
    const QByteArray content = song + "\r\n/m/b\xc3\xa9.mp3\r\n";
    const QStringList lines = readM3uLines(content);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(readWholeFile(lines[0]), QByteArray("audio"));
    const QString saved = dir.filePath("set.m3u");
    ASSERT_EQ(writeM3uFile(saved, lines), "");
    EXPECT_EQ(readWholeFile(saved), content);
}

}  // namespace
}  // namespace kelvra::playlist
