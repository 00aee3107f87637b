// What kelvra-cli says when a song cannot be opened or analysed: the library's code and text on
// standard output as before, and the file with the reason on standard error.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "support/CliRun.h"

namespace kelvra::audio::testing {
namespace {

using test::CliRun;

CliRun cli(const QStringList& args, const QString& cache) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", cache);
    return test::runCli(args, env);
}

void putLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(value >> (8 * i) & 0xFF));
}

// A WAV header declaring `channels` channels over a little silence.
std::string wavWithChannels(int channels) {
    std::string fmt;
    putLe(fmt, 1, 2);
    putLe(fmt, std::uint64_t(channels), 2);
    putLe(fmt, 44100, 4);
    putLe(fmt, 44100ull * 2 * std::uint64_t(channels), 4);
    putLe(fmt, std::uint64_t(2 * channels) & 0xFFFF, 2);
    putLe(fmt, 16, 2);
    const std::string pcm(std::size_t(2 * channels * 4), '\0');
    std::string body = "WAVEfmt ";
    putLe(body, fmt.size(), 4);
    body += fmt + "data";
    putLe(body, pcm.size(), 4);
    body += pcm;
    std::string file = "RIFF";
    putLe(file, body.size(), 4);
    return file + body;
}

TEST(CliMessages, OpenAndAnalysisFailuresNameTheFileAndTheReason) {
    QTemporaryDir dir;
    const QString channels = dir.filePath("channels.wav");
    std::ofstream(channels.toStdString(), std::ios::binary) << wavWithChannels(65535);
    const QString missing = dir.filePath("missing.mp3");
    const QString cache = dir.filePath("cache");

    // Too many channels keeps the library's code and text, and says what is really wrong.
    const QString tooMany =
        "kelvra-cli: " + channels + ": It has 65535 channels; Kelvra plays songs of 1 to 8.\n";
    for (const QStringList& args :
         {QStringList{"probe", channels},
          QStringList{"render", channels, "--out", dir.filePath("out.wav")}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun run = cli(args, cache);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "error\t25\tIllegal Sample Rate\n");
        EXPECT_EQ(run.err, tooMany);
    }
    const CliRun probeMissing = cli({"probe", missing}, cache);
    EXPECT_EQ(probeMissing.out, "error\t2\tCan't Open the File\n");
    EXPECT_EQ(probeMissing.err, "kelvra-cli: " + missing + ": It does not exist.\n");
    EXPECT_EQ(cli({"probe", dir.path()}, cache).err,
              "kelvra-cli: " + dir.path() + ": It is a folder, not a song.\n");

    const CliRun analysed = cli({"analyse", channels, missing}, cache);
    EXPECT_EQ(analysed.exitCode, 1);
    EXPECT_EQ(analysed.out,
              "bpm\tfirst_beat_seconds\tlufs\tpeak_dbfs\tseconds\tkey\ttempo_changes\tfile\n"
              "error\terror\terror\terror\terror\terror\terror\t" +
                  channels + "\nerror\terror\terror\terror\terror\terror\terror\t" + missing +
                  "\n");
    EXPECT_EQ(analysed.err, tooMany + "kelvra-cli: " + missing + ": It does not exist.\n");
}

}  // namespace
}  // namespace kelvra::audio::testing
