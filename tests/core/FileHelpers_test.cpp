#include "core/FileHelpers.h"

#include <gtest/gtest.h>

#include <QFile>
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

}  // namespace
}  // namespace kelvra
