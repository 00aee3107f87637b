// The audio engine's figures side by side: the mixing path with two pitched decks, load to
// playable and resident memory with two 10-minute tracks loaded and playing.
// Usage: engine_bench [seconds of mixed audio, default 120] [--mix-only]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "BenchDecoders.h"
#include "BenchSongs.h"
#include "audio/engine/Engine.h"

namespace {

using namespace kelvra::audio;
using kelvra::bench::MemoryDecoder;
using kelvra::bench::threadCpuSeconds;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// What the decks do besides playing: nothing, both key-locked, both with EQ and filter at work, or
// both key-locked with the left one jumping to a hot cue twice a second.
enum class Extra { None, KeyLock, Tone, KeyLockJumps };

struct MixFigures {
    double cpu = 0;            // render thread CPU seconds
    double audio = 0;          // seconds of audio mixed
    double wall = 0;           // seconds by the wall clock
    double mean = 0, p99 = 0;  // one callback's CPU time, seconds
    double worst = 0;
    unsigned long long starved = 0;
    std::uint32_t levels = 0;
};

// Two decks at +6 % and -3 %, levels read every 80 ms of audio, 256-frame periods.
MixFigures mixingPath(double seconds, Extra extra) {
    std::vector<std::int16_t> music(std::size_t(44100 * (seconds * 1.1 + 2)) * 2);
    for (std::size_t i = 0; i < music.size() / 2; ++i) {
        const double t = double(i) / 44100;
        music[2 * i] = std::int16_t(9000 * std::sin(2 * std::numbers::pi * 440 * t) +
                                    3000 * std::sin(2 * std::numbers::pi * 3520 * t));
        music[2 * i + 1] = std::int16_t(8000 * std::sin(2 * std::numbers::pi * 660 * t));
    }
    const auto opener = [&](const std::string&, OpenMode) {
        return OpenedFile{std::make_unique<MemoryDecoder>(music), 0, {}};
    };
    engine::Engine engine({opener, opener});
    engine.setBufferLength(2.0f);
    engine.initOffline(44100);
    const Handle left = engine.streamCreateFile("left", 0);
    const Handle right = engine.streamCreateFile("right", 0);
    engine.channelSetAttributes(left, int(44100 * 1.06), 90, -20);
    engine.channelSetAttributes(right, int(44100 * 0.97), 70, 30);
    for (Handle h : {left, right}) {
        if (extra == Extra::KeyLock || extra == Extra::KeyLockJumps)
            engine.setKeyLock(StreamId(h), {true, Hz(0), 0});
        // A cut low band, a lifted top and the filter half closed: every stage engaged.
        if (extra == Extra::Tone) engine.setEffects(StreamId(h), {0.3f, 1.0f, 1.6f, -0.4f, 2.0f});
        engine.streamPreBuf(h);
        engine.streamPlay(h, false, 0);
    }

    constexpr int kPeriod = 256;
    const int periods = int(seconds * 44100 / kPeriod);
    const int periodsPer80ms = int(0.08 * 44100 / kPeriod);
    std::vector<std::int16_t> out(2 * kPeriod);
    std::vector<double> times;
    times.reserve(std::size_t(periods));
    MixFigures f;
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    const int periodsPerJump = int(0.5 * 44100 / kPeriod);
    for (int p = 0; p < periods; ++p) {
        // A key-locked jump starts a second stretcher at the new place within one callback.
        const bool jumps = extra == Extra::KeyLockJumps;
        if (jumps && p % periodsPerJump == periodsPerJump / 2)
            engine.channelSetPosition(left, BytePosition(44100 * (p % 7 + 1)) * 4);
        // Every 8th callback is timed on its own, so the clock reads hardly weigh on the total;
        // with jumps every one after the start is, so the jumps' own are among them.
        if (p % 8 == 0 || jumps) {
            const double t0 = threadCpuSeconds();
            engine.render(out.data(), kPeriod);
            if (!jumps || p > 200) times.push_back(threadCpuSeconds() - t0);
        } else {
            engine.render(out.data(), kPeriod);
        }
        if (p % periodsPer80ms == 0)
            f.levels ^= engine.channelLevel(left) ^ engine.channelLevel(right);
    }
    f.wall = since(start);
    f.cpu = threadCpuSeconds() - cpuStart;
    std::sort(times.begin(), times.end());
    for (double t : times)
        f.mean += t;
    f.mean /= double(times.size());
    f.p99 = times[std::size_t(double(times.size()) * 0.99)];
    f.worst = times.back();
    f.audio = double(periods) * kPeriod / 44100;
    f.starved = engine.stats().starvedFrames;
    return f;
}

void reportMixingPath(double seconds) {
    const double periodSeconds = 256.0 / 44100;
    const MixFigures f = mixingPath(seconds, Extra::None);
    std::printf("%-44s %10.1f x real time on one core (render thread CPU time; target >= 100)\n",
                "mixing path, two pitched decks + meters", f.audio / f.cpu);
    std::printf("%-44s %10.1f x real time by the wall clock (decoders included)\n", "",
                f.audio / f.wall);
    std::printf("%-44s %9.2f %% mean  %6.2f %% p99 of a 256-frame period\n",
                "  one callback's share (CPU time)", 100 * f.mean / periodSeconds,
                100 * f.p99 / periodSeconds);
    std::printf("%-44s %10llu  (levels checksum %u)\n", "  frames played as silence", f.starved,
                f.levels);

    // The same two decks plain, key-locked and with their tone controls at work, taken in turn
    // several times so the machine's moods fall on all three alike: each deck's share of one
    // core while the decks play in real time.
    constexpr int kRuns = 5;
    const double shortRun = std::min(seconds, 30.0);
    std::vector<double> share[3];
    for (int run = 0; run < kRuns; ++run)
        for (Extra extra : {Extra::None, Extra::KeyLock, Extra::Tone}) {
            const MixFigures g = mixingPath(shortRun, extra);
            share[int(extra)].push_back(100 * g.cpu / g.audio / 2);
        }
    const char* names[] = {"  per deck, plain resampler path", "  per deck, key locked",
                           "  per deck, EQ + filter engaged"};
    for (int i = 0; i < 3; ++i) {
        std::sort(share[i].begin(), share[i].end());
        std::printf("%-44s %9.2f %% min  %6.2f %% median of one core%s\n", names[i],
                    share[i].front(), share[i][kRuns / 2],
                    i == 1 ? "  (target: both decks < 25 %)" : "");
    }

    // The costliest callback of two key-locked decks while one jumps twice a second: the jump's
    // callback starts a stretcher afresh besides playing both.
    std::vector<double> worst;
    for (int run = 0; run < kRuns; ++run)
        worst.push_back(100 * mixingPath(std::min(seconds, 10.0), Extra::KeyLockJumps).worst /
                        periodSeconds);
    std::sort(worst.begin(), worst.end());
    std::printf("%-44s %9.2f %% min  %6.2f %% median of a 256-frame period  (target < 50 %%)\n",
                "  worst callback, key-locked decks jumping", worst.front(), worst[kRuns / 2]);
}

// Real decoders: load to playable, and memory with two 10-minute tracks playing.
void realFiles() {
    const auto songs = kelvra::bench::tenMinuteSongs();
    if (!songs) return void(std::puts("(no ffmpeg: real-file figures skipped)"));
    const std::string &cbr = songs->cbr, &vbr = songs->vbr, &wma = songs->wma;

    {  // the first open pays for loading FFmpeg's codecs; keep that out of the figures
        engine::Engine warm;
        warm.streamCreateFile(vbr, 0);
    }
    for (const auto& [name, path] :
         {std::pair{"MP3 CBR", cbr}, std::pair{"MP3 VBR", vbr}, std::pair{"WMA", wma}}) {
        engine::Engine engine;
        const auto start = Clock::now();
        Handle h = engine.wmaStreamCreateFile(path, 0);
        if (!h) h = engine.streamCreateFile(path, 0);
        const double created = since(start);
        const bool ready = h && engine.streamPreBuf(h);
        const double playable = since(start);
        std::printf("%-44s %8.1f ms open  %8.1f ms playable%s  (target <= 20)\n",
                    ("load 10-minute " + std::string(name)).c_str(), created * 1000,
                    playable * 1000, ready ? "" : " (failed)");
    }

    for (const auto& [name, a, b] :
         {std::tuple{"MP3 + WMA", cbr, wma}, std::tuple{"WMA + WMA", wma, wma},
          std::tuple{"MP3 + MP3", cbr, vbr}}) {
        const long before = residentKb();
        engine::Engine engine;
        engine.initOffline(44100);
        std::vector<Handle> handles;
        for (const std::string& path : {a, b}) {
            Handle h = engine.wmaStreamCreateFile(path, 0);
            if (!h) h = engine.streamCreateFile(path, 0);
            engine.streamPreBuf(h);
            engine.channelSetPosition(h, engine.streamLength(h) / 2 / 4 * 4);
            engine.streamPlay(h, false, 0);
            handles.push_back(h);
        }
        std::vector<std::int16_t> out(2 * 4096);
        for (int i = 0; i < 44100 * 2 / 4096; ++i)
            engine.render(out.data(), 4096);
        std::printf("%-44s %8.1f MB resident  (+%.1f MB for the tracks; target <= 280)\n",
                    ("two 10-minute tracks playing, " + std::string(name)).c_str(),
                    double(residentKb()) / 1024, double(residentKb() - before) / 1024);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 120.0;
    if (argc <= 2 || std::string(argv[2]) != "--mix-only") realFiles();
    reportMixingPath(seconds);
    return 0;
}
