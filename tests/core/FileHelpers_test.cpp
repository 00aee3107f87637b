#include "core/FileHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace kelvra {
namespace {

TEST(FileHelpers, FileExistsIsTrueForFilesOnly) {
    QTemporaryDir folder;
    QFile file(folder.filePath("song.mp3"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(fileExists(folder.filePath("song.mp3")));
    EXPECT_FALSE(fileExists(folder.path()));
    EXPECT_FALSE(fileExists(folder.filePath("missing.mp3")));
    EXPECT_FALSE(fileExists(""));
    EXPECT_FALSE(fileExists(QString(QChar(0)) + "x"));
}

TEST(FileHelpers, AddBackslashAppendsTheSeparatorOnce) {
    EXPECT_EQ(addBackslash("/music"), "/music/");
    EXPECT_EQ(addBackslash("/music/"), "/music/");
    EXPECT_EQ(addBackslash(""), "/");
    EXPECT_FALSE(windowsFolder().isEmpty());
    EXPECT_FALSE(windowsFolder().endsWith('/'));
}

TEST(FileHelpers, ProgramFoldersAreMadeWhereTheyCanBeWritten) {
    QTemporaryDir program;
    QTemporaryDir data;
    EXPECT_EQ(makeProgramFolders(program.path(), data.path()), program.path());
    EXPECT_TRUE(QFileInfo(program.filePath("DJMixes")).isDir());
    EXPECT_TRUE(QFileInfo(program.filePath("Playlists")).isDir());
    EXPECT_EQ(makeProgramFolders(program.path(), data.path()), program.path());  // again: fine

    // A folder nobody may write (not even root): the user's data folder takes them.
    EXPECT_EQ(makeProgramFolders("/proc", data.path()), data.filePath("Kelvra"));
    EXPECT_TRUE(QFileInfo(data.filePath("Kelvra/DJMixes")).isDir());
    EXPECT_TRUE(QFileInfo(data.filePath("Kelvra/Playlists")).isDir());
}

// FIFOs, devices and folders are refused before anything could block on them.
TEST(FileHelpers, OnlyRegularFilesOpen) {
    QTemporaryDir folder;
    QFile song(folder.filePath("song.mp3"));
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write("abc");
    song.close();
    EXPECT_TRUE(openRegularFile(song));
    EXPECT_EQ(song.readAll(), "abc");
    const QString fifo = folder.filePath("f.mp3");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), folder.path(), QString()}) {
        QFile file(path);
        EXPECT_FALSE(openRegularFile(file)) << path.toStdString();
    }
}

}  // namespace
}  // namespace kelvra
