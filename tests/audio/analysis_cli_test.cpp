// kelvra-cli analyse: a header, one tab-separated line per file, and exit code 1 when one fails.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "audio/AnalysisFixtures.h"

namespace kelvra::audio::testing {
namespace {

TEST(AnalyseCommand, PrintsTempoFirstBeatLoudnessPeakLengthKeyAndTempoChangesPerFile) {
    QTemporaryDir dir;
    const QString loop = dir.filePath("loop 128.wav");
    ASSERT_TRUE(test::writeWav(loop.toStdString(), drumLoop({128, 1.5, 20, 44100}), 44100, 2));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    process.setProcessEnvironment(env);
    process.start(KELVRA_CLI_PATH, {"analyse", loop, dir.filePath("missing.mp3")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
    ASSERT_EQ(lines.size(), 4);  // header, two files, and the final newline
    EXPECT_EQ(lines[0],
              "bpm\tfirst_beat_seconds\tlufs\tpeak_dbfs\tseconds\tkey\ttempo_changes\tfile");
    const QStringList fields = lines[1].split('\t');
    ASSERT_EQ(fields.size(), 8);
    EXPECT_EQ(fields[0], "128.00");
    EXPECT_NEAR(fields[1].toDouble(), 1.5, 0.01);
    EXPECT_LT(fields[2].toDouble(), -3);
    EXPECT_LT(fields[3].toDouble(), 0);
    EXPECT_EQ(fields[4], "20.000");
    EXPECT_EQ(fields[5], "-");  // drums alone have no key
    EXPECT_EQ(fields[6], "0");  // one tempo throughout
    EXPECT_EQ(fields[7], loop);
    EXPECT_TRUE(lines[2].startsWith("error\t"));
    EXPECT_TRUE(QDir(dir.filePath("cache/kelvra/analysis")).entryList(QDir::Files).size() == 1);
}

}  // namespace
}  // namespace kelvra::audio::testing
