// Loading under load: one deck plays a 10-minute song on the null output (a real-time callback
// thread, paced like a sound card), or with --device on the default PortAudio device, while the
// other deck is loaded 200 times over, MP3 CBR, MP3 VBR and WMA in turn, each load freeing the song
// before it. Prints load-to-playable beside reading the same file into memory, the dropouts either
// deck suffered, and resident memory while loading against the steady figure with both decks
// loaded. Usage: load_stress_bench [loads, default 200] [--device]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSongs.h"
#include "audio/engine/Engine.h"

namespace {

using namespace kelvra::audio;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

int openFiles() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

struct Spread {
    double min, median, p90, max;
};

Spread spread(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) { return v[std::size_t(q * double(v.size() - 1) + 0.5)]; };
    return {v.front(), at(0.5), at(0.9), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
    const int loads = argc > 1 ? std::atoi(argv[1]) : 200;
    const bool device = argc > 2 && std::string(argv[2]) == "--device";
    const auto made = kelvra::bench::tenMinuteSongs();
    if (!made) return std::puts("(no ffmpeg: load stress skipped)"), 0;
    const std::string& cbr = made->cbr;
    const std::vector<std::string> songs{made->cbr, made->vbr, made->wma};

    if (device)
        unsetenv("KELVRA_AUDIO");
    else
        setenv("KELVRA_AUDIO", "null", 1);
    engine::Engine engine;
    if (!engine.init(-1, 44100, 0) || !engine.start())
        return std::printf("the output did not start (error %d)\n", engine.errorCode()), 1;
    std::printf("output: %s\n", device ? "the default PortAudio device" : "the null output");
    // A load as the deck makes it: open, fill the read-ahead, play from the start.
    const auto load = [&](const std::string& path) {
        Handle h = engine.wmaStreamCreateFile(path, 0);
        if (!h) h = engine.streamCreateFile(path, 0);
        if (h) {
            engine.streamPreBuf(h);
            engine.streamPlay(h, false, 0);
        }
        return h;
    };
    const Handle playing = engine.streamCreateFile(cbr, 0);
    engine.channelSetPosition(playing, engine.streamLength(playing) / 2 / 4 * 4);
    engine.streamPreBuf(playing);
    engine.streamPlay(playing, false, 0);
    Handle other = 0;
    long peakKb = 0;
    int failed = 0;
    std::vector<double> loadMs, readMs;
    const auto reload = [&](const std::string& path, bool timed) {
        if (timed) {
            // The baseline: reading the song into memory at this moment on this machine.
            const auto start = Clock::now();
            std::ifstream in(path, std::ios::binary | std::ios::ate);
            std::string bytes(std::size_t(in.tellg()), '\0');
            in.seekg(0).read(bytes.data(), std::streamsize(bytes.size()));
            readMs.push_back(msSince(start));
        }
        if (other) engine.streamFree(other);
        const auto start = Clock::now();
        other = load(path);
        if (timed) loadMs.push_back(msSince(start));
        if (!other) ++failed;
        // A DJ's quickest reload; the display tick's queries run meanwhile, as in the program.
        for (int tick = 0; tick < 2; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            (void)engine.channelPosition(playing);
            (void)engine.channelLevel(other);
            peakKb = std::max(peakKb, statusKb("VmRSS:"));
        }
    };
    // The steady figure: the most memory one round of the songs takes, each held for a second
    // so its decoding is done.
    for (const std::string& path : songs) {
        reload(path, false);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peakKb = std::max(peakKb, statusKb("VmRSS:"));
    }
    const long steadyKb = peakKb;
    const long steadyThreads = statusKb("Threads:");
    const int steadyFiles = openFiles();
    const engine::EngineStats before = engine.stats();
    for (int i = 0; i < loads; ++i)
        reload(songs[std::size_t(i) % songs.size()], true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    (void)engine.channelPosition(playing);
    const engine::EngineStats after = engine.stats();
    const long afterKb = statusKb("VmRSS:");

    std::printf("%-40s %7s %7s %7s %7s\n", "", "min", "median", "p90", "max");
    const auto row = [](const std::string& name, const std::vector<double>& ms, const char* end) {
        const Spread s = spread(ms);
        std::printf("%-40s %7.2f %7.2f %7.2f %7.2f ms%s\n", name.c_str(), s.min, s.median, s.p90,
                    s.max, end);
    };
    row("load to playable, other deck playing", loadMs, " (target p90 <= 20)");
    row("  baseline: read the file into memory", readMs, "");
    const char* names[] = {"  MP3 CBR", "  MP3 VBR", "  WMA"};
    for (std::size_t kind = 0; kind < songs.size(); ++kind) {
        std::vector<double> load, read;
        for (std::size_t i = kind; i < loadMs.size(); i += songs.size()) {
            load.push_back(loadMs[i]);
            read.push_back(readMs[i]);
        }
        row(std::string(names[kind]) + " load", load, "");
        row(std::string(names[kind]) + " read", read, "");
    }
    std::printf("%-40s %llu underruns, %llu late periods, %llu frames of silence (target 0)\n",
                "dropouts over the loads", (unsigned long long)(after.underruns - before.underruns),
                (unsigned long long)(after.lateCallbacks - before.lateCallbacks),
                (unsigned long long)(after.starvedFrames - before.starvedFrames));
    std::printf("%-40s %.1f MB steady, %.1f MB peak (%.2fx; target <= 1.2x), %.1f MB after\n",
                "resident memory", double(steadyKb) / 1024, double(peakKb) / 1024,
                double(peakKb) / double(steadyKb), double(afterKb) / 1024);
    std::printf("%-40s threads %ld -> %ld, open files %d -> %d, %d loads failed\n",
                "resources, steady -> after", steadyThreads, statusKb("Threads:"), steadyFiles,
                openFiles(), failed);
    engine.release();
    return failed > 0;
}
