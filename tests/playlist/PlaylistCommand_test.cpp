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

}  // namespace
}  // namespace kelvra::playlist
