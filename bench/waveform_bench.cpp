// One frame of the waveform strip on the UI thread, with both decks playing 10-minute songs:
// the strip widget painted whole (waveform pixels, beat grid, labels) at the default zoom and
// zoomed all the way out, beside a plain blit of an image of the same size, the least any frame
// costs. Runs are repeated; the min and median rows are the figures to quote (the goal is 2 ms a
// frame).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <random>

#include "app/WaveformStrip.h"
#include "app/ui/WaveformStripView.h"

using namespace kelvra;

namespace {

constexpr int kWidth = 1070;
constexpr int kHeight = 132;

audio::analysis::AnalysisSnapshot tenMinuteSong(unsigned seed) {
    auto song = std::make_shared<audio::analysis::SongAnalysis>();
    song->seconds = 600;
    song->bpm = 126;
    song->firstBeatSeconds = 0.21;
    song->waveform.rate = 44100;
    song->waveform.blockFrames = 441;
    song->waveform.blocks.resize(60000);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(20, 255);
    for (auto& block : song->waveform.blocks)
        for (int band = 0; band < audio::analysis::kBandCount; ++band) {
            block.peak[std::size_t(band)] = std::uint8_t(level(random));
            block.rms[std::size_t(band)] = std::uint8_t(block.peak[std::size_t(band)] * 3 / 4);
        }
    return song;
}

struct Strip {
    app::WaveformStripModel model;
    app::WaveformStripView view{model};
    QImage target{kWidth, kHeight, QImage::Format_RGB32};

    explicit Strip(int zoomSteps) {
        model.setAnalysis(Side::Left, tenMinuteSong(1));
        model.setAnalysis(Side::Right, tenMinuteSong(2));
        model.follow(Side::Left, 0, 200.0, 1.0);
        model.follow(Side::Right, 0, 310.0, 1.03);
        model.zoom(zoomSteps);
        view.resize(kWidth, kHeight);
    }
};

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void BM_BlitOnly(benchmark::State& state) {
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    frame.fill(Qt::darkGreen);
    QImage target(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.drawImage(0, 0, frame);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_StripFrame(benchmark::State& state) {
    Strip strip(int(state.range(0)));
    for (auto _ : state) {
        strip.view.render(&strip.target);
        benchmark::DoNotOptimize(strip.target.constBits());
    }
    state.counters["half_span_s"] = strip.model.halfSpanSeconds();
}

BENCHMARK(BM_BlitOnly)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);
// 0 wheel steps: the default +-4 s; -6 steps: +-15.3 s, the most blocks a column.
BENCHMARK(BM_StripFrame)
    ->Arg(0)
    ->Arg(-6)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
