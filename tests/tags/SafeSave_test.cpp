// Saving through a copy when the file system is not as simple as one file in one folder: stale
// copies of killed saves, another program changing the file mid-save, links.
#include "tags/SafeSave.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace kelvra::tags {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList saveCopies(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({".kelvra-save-*"}, QDir::Files | QDir::Hidden);
}

// The edit the tests make: a tag appended to the copy.
bool appendTag(const QString& copy, QString&) {
    QFile file(copy);
    return file.open(QIODevice::Append) && file.write("TAG") == 3;
}
bool accept(const QString&, QString&) {
    return true;
}

TEST(SafeSave, StaleCopiesGoAndFailedSavesLeaveNone) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    write(song, "audio");
    // Left by saves that were killed; a look-alike of another naming stays.
    write(dir.filePath(".kelvra-save-a1b2c3"), QByteArray(4096, 'x'));
    write(dir.filePath(".kelvra-save-zzzzzz"), QByteArray(4096, 'x'));
    write(dir.filePath(".kelvra-save-notours"), "keep");

    EXPECT_TRUE(saveThroughCopy(song, appendTag, accept).saved);
    EXPECT_EQ(contents(song), "audioTAG");
    EXPECT_EQ(saveCopies(dir), QStringList{".kelvra-save-notours"});

    // A failing edit or check removes its own copy.
    const auto refuse = [](const QString&, QString& error) {
        error = "no";
        return false;
    };
    EXPECT_FALSE(saveThroughCopy(song, refuse, accept).saved);
    EXPECT_FALSE(saveThroughCopy(song, appendTag, refuse).saved);
    EXPECT_EQ(saveCopies(dir), QStringList{".kelvra-save-notours"});
    EXPECT_EQ(contents(song), "audioTAG");
}

TEST(SafeSave, AnotherProgramsChangeDuringTheSaveIsNeverUndone) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");

    // Changed between the copy and the rename: the other program's bytes stay.
    write(song, "audio");
    const auto changeOriginal = [&](const QString& copy, QString& error) {
        write(song, "audio, retagged elsewhere");
        return appendTag(copy, error);
    };
    SaveOutcome outcome = saveThroughCopy(song, changeOriginal, accept);
    EXPECT_FALSE(outcome.saved);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_EQ(contents(song), "audio, retagged elsewhere");
    EXPECT_TRUE(saveCopies(dir).isEmpty());

    // Replaced by a file of the same size: caught by the inode.
    write(song, "audio");
    const auto replaceOriginal = [&](const QString& copy, QString& error) {
        write(dir.filePath("other"), "AUDIO");
        QFile::remove(song);
        QFile::rename(dir.filePath("other"), song);
        return appendTag(copy, error);
    };
    EXPECT_FALSE(saveThroughCopy(song, replaceOriginal, accept).saved);
    EXPECT_EQ(contents(song), "AUDIO");

    // Deleted during the save: it does not come back.
    const auto deleteOriginal = [&](const QString& copy, QString& error) {
        QFile::remove(song);
        return appendTag(copy, error);
    };
    EXPECT_FALSE(saveThroughCopy(song, deleteOriginal, accept).saved);
    EXPECT_FALSE(QFileInfo::exists(song));
    EXPECT_TRUE(saveCopies(dir).isEmpty());
}

TEST(SafeSave, LinksStayLinks) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString real = dir.filePath("real/song.mp3");
    const QString link = dir.filePath("link.mp3");
    write(real, "audio");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(QFile(real).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                           QFile::ReadOther));

    // Through a symbolic link the real file gets the tag, in its own folder, mode kept.
    EXPECT_TRUE(saveThroughCopy(link, appendTag, accept).saved);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contents(real), "audioTAG");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    // A hard link would be split by the rename: refused, both names unchanged.
    const QString second = dir.filePath("second.mp3");
    ASSERT_EQ(::link(QFile::encodeName(real).constData(), QFile::encodeName(second).constData()),
              0);
    const SaveOutcome outcome = saveThroughCopy(real, appendTag, accept);
    EXPECT_FALSE(outcome.saved);
    EXPECT_TRUE(outcome.error.contains("hard links"));
    EXPECT_EQ(contents(real), "audioTAG");
    EXPECT_EQ(contents(second), "audioTAG");
    EXPECT_TRUE(saveCopies(dir).isEmpty());
}

// Another user's file in a folder anyone may write: the replace would change its owner, so the
// save is refused. Needs root to make the other user's file; the save runs as "nobody".
TEST(SafeSave, AnotherUsersFileIsNotTakenOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file for another user";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString song = dir.filePath("song.mp3");
    write(song, "audio");
    ASSERT_EQ(::chmod(QFile::encodeName(song).constData(), 0644), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const SaveOutcome outcome = saveThroughCopy(song, appendTag, accept);
        ::_exit(!outcome.saved && outcome.error.contains("another user") ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(song).constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(contents(song), "audio");
    EXPECT_TRUE(saveCopies(dir).isEmpty());
}

}  // namespace
}  // namespace kelvra::tags
