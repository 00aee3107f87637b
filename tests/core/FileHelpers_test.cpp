#include "core/FileHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/FileBytes.h"

namespace kelvra {
namespace {

TEST(FileHelpers, FileExistsIsTrueForFilesOnly) {
    QTemporaryDir folder;
    test::writeFile(folder.filePath("song.mp3"), {});
    EXPECT_TRUE(fileExists(folder.filePath("song.mp3")));
    EXPECT_FALSE(fileExists(folder.path()));
    EXPECT_FALSE(fileExists(folder.filePath("missing.mp3")));
    EXPECT_FALSE(fileExists(""));
    EXPECT_FALSE(fileExists(QString(QChar(0)) + "x"));
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
    test::writeFile(folder.filePath("song.mp3"), "abc");
    QFile song(folder.filePath("song.mp3"));
    EXPECT_TRUE(openRegularFile(song));
    EXPECT_EQ(song.readAll(), "abc");
    const QString fifo = folder.filePath("f.mp3");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), folder.path(), QString()}) {
        QFile file(path);
        EXPECT_FALSE(openRegularFile(file)) << path.toStdString();
    }
}

// Text readers (session scripts, playlists, cache entries, settings) read whole files: never a
// pipe or a device, which would block or never end, and never more than they allow.
TEST(FileHelpers, ReadRegularFileReadsOnlyRegularFilesUpToItsLimit) {
    QTemporaryDir folder;
    const QString text = folder.filePath("script.txt");
    test::writeFile(text, "load left song.wav\n");
    ReadFailure failure = ReadFailure::Unreadable;
    EXPECT_EQ(readRegularFile(text, 100, &failure), QByteArray("load left song.wav\n"));
    EXPECT_EQ(failure, ReadFailure::None);
    EXPECT_EQ(readRegularFile(text, 19), QByteArray("load left song.wav\n"));
    EXPECT_FALSE(readRegularFile(text, 18, &failure));
    EXPECT_EQ(failure, ReadFailure::TooLarge);

    const QString fifo = folder.filePath("fifo.txt");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = folder.filePath("zero.txt");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    for (const QString& path : {fifo, zero, folder.path(), QStringLiteral("/dev/null")}) {
        EXPECT_FALSE(readRegularFile(path, 1 << 20, &failure)) << path.toStdString();
        EXPECT_EQ(failure, ReadFailure::NotRegular) << path.toStdString();
        EXPECT_EQ(readFailureText(failure), "it is a folder, device or pipe, not a file");
    }
    EXPECT_FALSE(readRegularFile(folder.filePath("missing.txt"), 100, &failure));
    EXPECT_EQ(failure, ReadFailure::Missing);
    EXPECT_EQ(readFailureText(failure), "it does not exist");
}

}  // namespace
}  // namespace kelvra
