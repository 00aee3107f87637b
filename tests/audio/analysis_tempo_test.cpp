// Tempo and first beat of synthesised drum loops, through the file path a deck's analysis takes.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "audio/AnalysisFixtures.h"
#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::testing {
namespace {

using analysis::analyseFile;

struct Expected {
    double bpm;
    double intro;
};

class AnalysisTempo : public ::testing::TestWithParam<Expected> {};

TEST_P(AnalysisTempo, FindsTheTempoAndTheFirstKick) {
    const Expected e = GetParam();
    QTemporaryDir dir;
    const std::string path = dir.filePath("loop.wav").toStdString();
    ASSERT_TRUE(test::writeWav(path, drumLoop({e.bpm, e.intro, 40, 44100}), 44100, 2));
    const auto result = analyseFile(path);
    ASSERT_TRUE(result);
    EXPECT_NEAR(result->bpm, e.bpm, 0.05);
    EXPECT_NEAR(result->firstBeatSeconds, e.intro, 0.010);
    EXPECT_NEAR(result->seconds, 40.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(DrumLoops, AnalysisTempo,
                         ::testing::Values(Expected{70, 0}, Expected{87.5, 0}, Expected{100, 0},
                                           Expected{120, 0}, Expected{128, 0}, Expected{140, 0},
                                           Expected{174, 0}, Expected{124, 6.789},
                                           Expected{87.5, 3.2}),
                         [](const auto& info) {
                             return "Bpm" + std::to_string(int(info.param.bpm * 10)) +
                                    (info.param.intro > 0 ? "SilentIntro" : "");
                         });

}  // namespace
}  // namespace kelvra::audio::testing
