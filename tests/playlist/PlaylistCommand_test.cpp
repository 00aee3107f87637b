// kelvra-cli playlist prints the lines the window shows, with titles from the real tag reader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/AudioFixtures.h"

namespace kelvra::playlist {
namespace {

TEST(PlaylistCommand, PrintsNumberedDisplayLines) {
    QTemporaryDir dir;
    const std::string wav = dir.filePath("plain tone.wav").toStdString();
    ASSERT_TRUE(test::writeWav(wav, test::sine(44100, 2, 0.5, 440), 44100, 2));
    const QString mp3 = dir.filePath("tagged.mp3");
    ASSERT_TRUE(test::ffmpegEncode(wav, mp3.toStdString(),
                                   {"-metadata", "title=Night Drive", "-metadata",
                                    "artist=Aurora Lane", "-id3v2_version", "3"}));
    const QString list = dir.filePath("set.m3u");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(mp3.toUtf8() + "\r\n" + QByteArray::fromStdString(wav) + "\r\nunfinished");
    file.close();

    QProcess cli;
    cli.start(KELVRA_CLI_PATH, {"playlist", list});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
    ASSERT_EQ(lines.size(), 3);  // two entries and the empty text after the last line break
    EXPECT_TRUE(lines[0].startsWith("1.  Night Drive")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("Aurora Lane")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "2.  plain tone.wav");

    cli.start(KELVRA_CLI_PATH, {"playlist", dir.filePath("list.txt")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 2);
}

TEST(PlaylistCommand, FailuresNameTheFileAndWhy) {
    QTemporaryDir dir;
    const auto run = [](const QString& list, int* code) {
        QProcess cli;
        cli.start(KELVRA_CLI_PATH, {"playlist", list});
        EXPECT_TRUE(cli.waitForFinished(30000));
        *code = cli.exitCode();
        return QString::fromUtf8(cli.readAllStandardError());
    };
    int code = -1;
    // Lines ending in LF alone give no songs, and the command says why.
    const QString unix = dir.filePath("unix.m3u");
    QFile file(unix);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("/m/a.mp3\n/m/b.mp3\n");
    file.close();
    QString err = run(unix, &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains(unix + " holds no songs: its lines end in LF alone, where CR LF is "
                                    "expected."))
        << err.toStdString();

    // A folder named like a playlist, and a missing one.
    ASSERT_TRUE(QDir().mkdir(dir.filePath("folder.m3u")));
    err = run(dir.filePath("folder.m3u"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains("folder.m3u': Is a directory")) << err.toStdString();
    err = run(dir.filePath("gone.m3u"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains("gone.m3u': No such file or directory")) << err.toStdString();

    // An empty playlist is no failure.
    QFile empty(dir.filePath("empty.m3u"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    err = run(dir.filePath("empty.m3u"), &code);
    EXPECT_EQ(code, 0) << err.toStdString();
}

}  // namespace
}  // namespace kelvra::playlist
