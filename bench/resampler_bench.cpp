// The deck's rate converter beside libsamplerate's fastest sinc converter, which the engine used
// before, on the same tone at the steps a DJ uses: a pitch a little down and up, half speed (the
// 22 kHz base), and a 96 kHz file. Reports min and median of several runs, in seconds of stereo
// audio converted per second of one core.
#include <benchmark/benchmark.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/engine/SincResampler.h"

namespace {

constexpr int kFrames = 44100 * 10;
constexpr int kChunk = 220;  // the engine's 5 ms chunk

const std::vector<float>& tone() {
    static const std::vector<float> samples = [] {
        std::vector<float> x(2 * std::size_t(kFrames));
        for (int i = 0; i < kFrames; ++i)
            x[2 * std::size_t(i)] = x[2 * std::size_t(i) + 1] =
                float(0.5 * std::sin(2 * M_PI * 1000 * i / 44100.0));
        return x;
    }();
    return samples;
}

double stepOf(const benchmark::State& state) {
    return double(state.range(0)) / 10000;
}

void Sinc(benchmark::State& state) {
    const double step = stepOf(state);
    std::vector<float> out(2 * kChunk);
    const std::vector<float>& in = tone();
    double seconds = 0;
    for (auto _ : state) {
        kelvra::audio::engine::SincResampler resampler(2, 8192);
        int used = 0;
        long made = 0;
        while (used < kFrames - 4096) {
            const auto r = resampler.process(in.data() + 2 * std::size_t(used), 4096, false,
                                             out.data(), kChunk, step);
            used += r.inputUsed;
            made += r.outputMade;
        }
        benchmark::DoNotOptimize(out.data());
        seconds += double(made) / 44100;
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

void LibSamplerate(benchmark::State& state) {
    const double step = stepOf(state);
    std::vector<float> out(2 * kChunk);
    const std::vector<float>& in = tone();
    double seconds = 0;
    for (auto _ : state) {
        int error = 0;
        SRC_STATE* src = src_new(SRC_SINC_FASTEST, 2, &error);
        long used = 0, made = 0;
        while (used < kFrames - 4096) {
            SRC_DATA data{};
            data.data_in = in.data() + 2 * used;
            data.input_frames = 4096;
            data.data_out = out.data();
            data.output_frames = kChunk;
            data.src_ratio = 1 / step;
            src_process(src, &data);
            used += data.input_frames_used;
            made += data.output_frames_gen;
        }
        src_delete(src);
        benchmark::DoNotOptimize(out.data());
        seconds += double(made) / 44100;
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Steps in ten-thousandths: 0.9800, 1.0150, 0.5000 and 96000/44100.
void steps(benchmark::internal::Benchmark* b) {
    for (int step : {9800, 10150, 5000, 21769})
        b->Arg(step);
    b->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", minimum)
        ->Unit(benchmark::kMillisecond);
}

BENCHMARK(Sinc)->Apply(steps);
BENCHMARK(LibSamplerate)->Apply(steps);

}  // namespace

BENCHMARK_MAIN();
