// Song analysis speed: a 10-minute song analysed (decode, loudness, beat grid, waveform) against
// a bare decode of the same file in the same run, as multiples of real time. Runs are repeated;
// the min and median rows are the figures to quote. The multiples are of CPU time: the work is
// one thread, so that is its cost on one core, and other work on a shared machine cannot inflate
// it.
//
// The song (a drum loop over a chord, MP3 and WAV) is made once and kept in the temp folder
// (KELVRA_BENCH_CACHE moves it); its name carries a version so a changed signal is made anew.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/Decoder.h"
#include "audio/analysis/SongAnalysis.h"
#include "core/Rounding.h"

namespace fs = std::filesystem;
using namespace kelvra;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 600;
constexpr double kBpm = 126;

bool writeWav(const std::string& path, const std::vector<std::int16_t>& pcm) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    const std::uint32_t bytes = std::uint32_t(pcm.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    const bool ok = std::fwrite(pcm.data(), 2, pcm.size(), f) == pcm.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<std::int16_t> song() {
    std::vector<float> mono(std::size_t(kSeconds) * kRate);
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> white(-1, 1);
    const double beat = 60.0 / kBpm * kRate;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        const double t = double(i) / kRate;
        mono[i] = float(0.1 * (std::sin(2 * std::numbers::pi * 220 * t) +
                               std::sin(2 * std::numbers::pi * 277.2 * t)));
    }
    for (int b = 0; b * beat < double(mono.size()); ++b) {
        const auto at = std::size_t(roundEven(b * beat));
        double phase = 0;
        for (int i = 0; i < kRate / 4 && at + std::size_t(i) < mono.size(); ++i) {
            const double t = double(i) / kRate;
            phase += 2 * std::numbers::pi * (50 + 90 * std::exp(-t / 0.03)) / kRate;
            mono[at + std::size_t(i)] +=
                float(0.6 * std::sin(phase) * std::exp(-t / 0.12) +
                      (b % 2 ? 0.2 * white(noise) * std::exp(-t / 0.06) : 0));
        }
    }
    std::vector<std::int16_t> pcm(mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        pcm[2 * i] = pcm[2 * i + 1] =
            std::int16_t(roundEven(std::clamp(mono[i], -1.0f, 1.0f) * 32767));
    return pcm;
}

struct Songs {
    std::string wav, mp3;
    Songs() {
        const char* base = std::getenv("KELVRA_BENCH_CACHE");
        const fs::path folder =
            fs::path(base ? base : fs::temp_directory_path().string()) / "kelvra-analysis-bench-v1";
        fs::create_directories(folder);
        wav = (folder / "song.wav").string();
        mp3 = (folder / "song.mp3").string();
        if (!fs::exists(mp3)) {
            if (!writeWav(wav, song())) std::abort();
            const std::string command = "ffmpeg -y -nostdin -loglevel error -i '" + wav +
                                        "' -c:a libmp3lame -b:a 192k '" + mp3 + ".part.mp3'";
            if (std::system(command.c_str()) != 0) std::abort();
            fs::rename(mp3 + ".part.mp3", mp3);
        }
    }
    static const Songs& get() {
        static const Songs songs;
        return songs;
    }
};

audio::OpenedFile open(const std::string& path) {
    return audio::openMainFile(path, audio::OpenMode::Playback);
}

void realTime(benchmark::State& state) {
    state.counters["x_realtime"] =
        benchmark::Counter(double(kSeconds), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeOnly(benchmark::State& state, const std::string& (*which)(const Songs&)) {
    const std::string& path = which(Songs::get());
    std::vector<std::int16_t> buffer(4096 * 2);
    for (auto _ : state) {
        auto opened = open(path);
        while (opened.decoder->read(buffer.data(), 4096) > 0) {
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    realTime(state);
}

void BM_Analyse(benchmark::State& state, const std::string& (*which)(const Songs&)) {
    const std::string& path = which(Songs::get());
    double bpm = 0;
    for (auto _ : state) {
        auto opened = open(path);
        const auto result = audio::analysis::analyseDecoder(*opened.decoder);
        bpm = result ? result->bpm : -1;
    }
    realTime(state);
    state.counters["bpm"] = bpm;
}

const std::string& mp3(const Songs& s) {
    return s.mp3;
}
const std::string& wav(const Songs& s) {
    return s.wav;
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

#define KELVRA_ANALYSIS_BENCH(fn, file)     \
    BENCHMARK_CAPTURE(fn, file, file)       \
        ->Unit(benchmark::kMillisecond)     \
        ->Iterations(1)                     \
        ->Repetitions(5)                    \
        ->ComputeStatistics("min", minimum) \
        ->ReportAggregatesOnly(true)        \
        ->UseRealTime()

KELVRA_ANALYSIS_BENCH(BM_DecodeOnly, mp3);
KELVRA_ANALYSIS_BENCH(BM_Analyse, mp3);
KELVRA_ANALYSIS_BENCH(BM_DecodeOnly, wav);
KELVRA_ANALYSIS_BENCH(BM_Analyse, wav);

}  // namespace

BENCHMARK_MAIN();
