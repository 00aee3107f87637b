// Saving through a copy when the file system is not as simple as one file in one folder: stale
// copies of killed saves, another program changing the file mid-save, links.
#include "tags/SafeSave.h"

#include "SaveFixtures.h"
#include "support/FileBytes.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

namespace kelvra::tags {
namespace {

using test::contents;
using test::writeFile;

QStringList saveCopies(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({".kelvra-save-*"}, QDir::Files | QDir::Hidden);
}

// Runs `body` in a child process that cannot take leases on `song`, as when saving another
// user's file or on a file system without them: only the file's times, inode and contents can
// then tell that another program changed it. The song is handed to another user, which needs
// root (the save keeps that owner). Fails when any expectation in the child failed.
void withoutLeases(const QString& song, const std::function<void()>& body) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the song to another user";
    const QByteArray name = QFile::encodeName(song);
    ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2] = {};
        ::syscall(SYS_capget, &header, caps);
        caps[CAP_LEASE / 32].effective &= ~(1U << (CAP_LEASE % 32));
        caps[CAP_LEASE / 32].permitted &= ~(1U << (CAP_LEASE % 32));
        ::syscall(SYS_capset, &header, caps);
        const int fd = ::open(name.constData(), O_RDONLY);
        EXPECT_NE(::fcntl(fd, F_SETLEASE, F_RDLCK), 0) << "a lease could still be taken";
        ::close(fd);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
    writeFile(song, "audio");
    // Left by saves that were killed; a look-alike of another naming stays.
    writeFile(dir.filePath(".kelvra-save-a1b2c3"), QByteArray(4096, 'x'));
    writeFile(dir.filePath(".kelvra-save-zzzzzz"), QByteArray(4096, 'x'));
    writeFile(dir.filePath(".kelvra-save-notours"), "keep");

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

TEST(SafeSave, AKilledSaveLeavesNothingPastTheNextSave) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    const QByteArray audio(8 << 20, 'a');  // large enough for kills to land mid-copy
    writeFile(song, audio);
    for (int delay : {0, 300, 1000, 3000, 8000, 15000, 30000, 60000}) {
        test::killDuring(delay, [&] { saveThroughCopy(song, appendTag, accept); });
        EXPECT_EQ(test::unsweptLeftovers(saveCopies(dir)), QStringList()) << delay;
        const QByteArray now = contents(song);
        EXPECT_TRUE(now.startsWith(audio) && now.mid(audio.size()).replace("TAG", "").isEmpty())
            << delay;
    }
    EXPECT_TRUE(saveThroughCopy(song, appendTag, accept).saved);
    EXPECT_EQ(saveCopies(dir), QStringList());
}

TEST(SafeSave, AnotherProgramsChangeDuringTheSaveIsNeverUndone) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    writeFile(song, "audio");
    withoutLeases(song, [&] {
        // Changed between the copy and the rename: the other program's bytes stay.
        const auto changeOriginal = [&](const QString& copy, QString& error) {
            writeFile(song, "audio, retagged elsewhere");
            return appendTag(copy, error);
        };
        SaveOutcome outcome = saveThroughCopy(song, changeOriginal, accept);
        EXPECT_FALSE(outcome.saved);
        EXPECT_FALSE(outcome.error.isEmpty());
        EXPECT_EQ(contents(song), "audio, retagged elsewhere");
        EXPECT_TRUE(saveCopies(dir).isEmpty());

        // Replaced by a file of the same size: caught by the inode.
        writeFile(song, "audio");
        const auto replaceOriginal = [&](const QString& copy, QString& error) {
            writeFile(dir.filePath("other"), "AUDIO");
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
    });
}

// Another program's writer in a child process, started before the save (so it shares no file
// with it): on `open()` it opens the song for writing and says so, and on `writeFile()` it writes
// through that descriptor and ends.
class Writer {
  public:
    explicit Writer(const QString& path) {
        if (::pipe(go_) != 0 || ::pipe(ready_) != 0) return;
        pid_ = ::fork();
        if (pid_ != 0) return;
        char c = 0;
        if (::read(go_[0], &c, 1) != 1) ::_exit(2);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        if (fd < 0 || ::write(ready_[1], "r", 1) != 1) ::_exit(3);
        if (::read(go_[0], &c, 1) != 1) ::_exit(4);
        ::_exit(::pwrite(fd, "WRITTEN", 7, 0) == 7 ? 0 : 5);
    }
    ~Writer() {
        if (pid_ > 0) finish();
    }
    void open() { (void)!::write(go_[1], "o", 1); }
    // Waits until the writer has its descriptor; false when it is still held in open().
    bool opened(int timeoutMs) {
        pollfd fd{ready_[0], POLLIN, 0};
        char c = 0;
        return ::poll(&fd, 1, timeoutMs) == 1 && ::read(ready_[0], &c, 1) == 1;
    }
    // Lets it write and waits for it; whether the write went through.
    bool finish() {
        (void)!::write(go_[1], "w", 1);
        int status = -1;
        const bool ok =
            ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        pid_ = -1;
        return ok;
    }

  private:
    pid_t pid_ = -1;
    int go_[2] = {-1, -1};
    int ready_[2] = {-1, -1};
};

TEST(SafeSave, AChangeThatRestoresSizeAndTimeIsStillSeen) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    writeFile(song, "audio");
    const QByteArray name = QFile::encodeName(song);
    withoutLeases(song, [&] {
        // Same size, and the modification time put back: only the change time tells.
        const auto sneakyChange = [&](const QString& copy, QString& error) {
            struct stat before {};
            ::stat(name.constData(), &before);
            writeFile(song, "AUDIO");
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ::utimensat(AT_FDCWD, name.constData(), times, 0);
            return appendTag(copy, error);
        };
        SaveOutcome outcome = saveThroughCopy(song, sneakyChange, accept);
        EXPECT_FALSE(outcome.saved);
        EXPECT_TRUE(outcome.error.contains("changed by another program"))
            << outcome.error.toStdString();
        EXPECT_EQ(contents(song), "AUDIO");
        EXPECT_TRUE(saveCopies(dir).isEmpty());

        // Another program's new permissions would be undone by the replace as well.
        const auto chmodOriginal = [&](const QString& copy, QString& error) {
            ::chmod(name.constData(), 0600);
            return appendTag(copy, error);
        };
        EXPECT_FALSE(saveThroughCopy(song, chmodOriginal, accept).saved);
        EXPECT_EQ(contents(song), "AUDIO");
    });
}

TEST(SafeSave, AFileOpenForWritingIsNotReplaced) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    writeFile(song, "audio, and more");

    // Held open for writing across the whole save: refused before any copy is made.
    {
        Writer writer(song);
        writer.open();
        ASSERT_TRUE(writer.opened(5000));
        const SaveOutcome outcome = saveThroughCopy(song, appendTag, accept);
        EXPECT_FALSE(outcome.saved);
        EXPECT_TRUE(outcome.error.contains("open for writing")) << outcome.error.toStdString();
        EXPECT_TRUE(writer.finish());
        EXPECT_EQ(contents(song), "WRITTENand more");
        EXPECT_TRUE(saveCopies(dir).isEmpty());
    }

    // Opened for writing while the copy is edited: the writer waits for the save, the save
    // sees it waiting and gives up, and the writer's bytes land in the file that stays.
    {
        writeFile(song, "audio, and more");
        Writer writer(song);
        const auto openMidSave = [&](const QString& copy, QString& error) {
            writer.open();
            EXPECT_FALSE(writer.opened(200));  // held in open() while the save runs
            return appendTag(copy, error);
        };
        const SaveOutcome outcome = saveThroughCopy(song, openMidSave, accept);
        EXPECT_FALSE(outcome.saved);
        EXPECT_TRUE(outcome.error.contains("open for writing")) << outcome.error.toStdString();
        EXPECT_TRUE(writer.opened(5000));
        EXPECT_TRUE(writer.finish());
        EXPECT_EQ(contents(song), "WRITTENand more");
        EXPECT_TRUE(saveCopies(dir).isEmpty());
    }
}

TEST(SafeSave, LinksStayLinks) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString real = dir.filePath("real/song.mp3");
    const QString link = dir.filePath("link.mp3");
    writeFile(real, "audio");
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
    writeFile(song, "audio");
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

// The user's own file in a group the user is not in: the group cannot be kept, and the message
// says so rather than blaming another user. Needs root to set up; the save runs as "nobody".
TEST(SafeSave, OwnFileInAForeignGroupSaysWhatIsWrong) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file a foreign group";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString song = dir.filePath("song.mp3");
    writeFile(song, "audio");
    ASSERT_EQ(::chown(QFile::encodeName(song).constData(), 65534, 0), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const SaveOutcome outcome = saveThroughCopy(song, appendTag, accept);
        ::_exit(!outcome.saved && outcome.error.contains("group") &&
                        !outcome.error.contains("another user")
                    ? 0
                    : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(contents(song), "audio");
    EXPECT_TRUE(saveCopies(dir).isEmpty());
}

}  // namespace
}  // namespace kelvra::tags
