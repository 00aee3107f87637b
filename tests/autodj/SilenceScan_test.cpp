#include "autodj/SilenceScan.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "support/AudioFixtures.h"

namespace kelvra::autodj {
namespace {

TEST(SilenceScan, TheSpanRunsFromTheFirstToAfterTheLastSampleAboveMinus60Dbfs) {
    std::vector<std::int16_t> stereo(2 * 10, 0);
    stereo[2 * 3 + 1] = -33;  // frame 3, right channel: just above -60 dBFS
    stereo[2 * 6] = 32;       // frame 6: just below
    stereo[2 * 5] = 100;
    const FrameSpan span = findAudibleFrames(stereo.data(), 10, 2);
    EXPECT_EQ(span.first, 3);
    EXPECT_EQ(span.end, 6);
    EXPECT_TRUE(findAudibleFrames(stereo.data(), 3, 2).empty());
}

TEST(SilenceScan, AFileIsScannedOnTheWorkerAndReportedOnTheUiThread) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("tone.wav").toStdString();
    // 0.5 s of silence, 1 s of tone, 0.25 s of silence, mono 22050 Hz.
    std::vector<std::int16_t> samples(11025, 0);
    const std::vector<std::int16_t> tone = test::sine(22050, 1, 1.0, 441, 0.5);
    samples.insert(samples.end(), tone.begin(), tone.end());
    samples.resize(samples.size() + 5512, 0);
    ASSERT_TRUE(test::writeWav(path, samples, 22050, 1));

    const std::optional<AudibleSpan> direct = scanFile(QString::fromStdString(path));
    ASSERT_TRUE(direct);
    EXPECT_NEAR(direct->first, 11025 * 2, 2 * 4);  // bytes: mono 16-bit
    EXPECT_NEAR(direct->end, (11025 + 22050) * 2, 2 * 4);
    EXPECT_FALSE(scanFile(folder.filePath("none.wav")));

    auto scanner = makeThreadedSilenceScanner();
    std::optional<AudibleSpan> reported;
    bool done = false;
    scanner->setOnResult([&](const QString&, std::optional<AudibleSpan> span) {
        reported = span;
        done = true;
    });
    scanner->request(QString::fromStdString(path));
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(done);
    ASSERT_TRUE(reported);
    EXPECT_EQ(reported->first, direct->first);
    EXPECT_EQ(reported->end, direct->end);
}

}  // namespace
}  // namespace kelvra::autodj
