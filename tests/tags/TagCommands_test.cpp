// kelvra-cli tags and id3v1 over files that cannot be read: each is named with its reason and the
// command fails, while the readable ones are still printed.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "SaveFixtures.h"

namespace kelvra::tags {
namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

CliRun cli(const QStringList& args) {
    QProcess process;
    process.start(KELVRA_CLI_PATH, args);
    CliRun run;
    if (!process.waitForFinished(30000)) return run;
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(TagCommands, UnreadableFilesAreNamedAndFailTheCommand) {
    ASSERT_FALSE(test::sampleMp3().isEmpty());
    QTemporaryDir dir;
    const QString song = test::copyInto(test::sampleMp3(), dir, QStringLiteral("song.mp3"));
    const QString missing = dir.filePath(QStringLiteral("missing.mp3"));
    const QString folder = dir.filePath(QStringLiteral("folder.mp3"));
    ASSERT_TRUE(QDir().mkdir(folder));

    CliRun run = cli({"tags", song, missing, folder});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(missing + "': No such file or directory"))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(folder + "': Is a directory")) << run.err.toStdString();
    // The readable song is still printed, and only it.
    EXPECT_EQ(run.out.count(QStringLiteral("deck\t")), 1) << run.out.toStdString();
    EXPECT_EQ(run.out.count(QStringLiteral("list\t")), 1) << run.out.toStdString();
    EXPECT_EQ(cli({"tags", song}).code, 0);

    run = cli({"id3v1", missing});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(missing + "': No such file or directory"))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    run = cli({"id3v1", folder});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("Is a directory")) << run.err.toStdString();
    EXPECT_EQ(cli({"id3v1", song}).code, 0);
}

}  // namespace
}  // namespace kelvra::tags
