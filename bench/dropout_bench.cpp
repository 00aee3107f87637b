// Dropouts on a busy machine: two decks play 10-minute songs on the default PortAudio device
// with the pitch moving all the time and a deck reloaded every 30 s, as a DJ's set does, at the
// output settings a first start gets (or --period N, --latency SECONDS). Prints the dropouts by
// kind and the output's own latency. Run it beside CPU hogs to see the margin (see
// dropout_stress.sh). Usage: dropout_bench [seconds, default 600] [--period N] [--latency S]
// [--keylock]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSongs.h"
#include "audio/engine/Engine.h"
#include "settings/OutputOptions.h"
#include "settings/ProgramSettings.h"

int main(int argc, char** argv) {
    using namespace kelvra;
    using namespace std::chrono;
    double seconds = 600;
    audio::OutputSetup setup;
    bool keyLock = false;
    setup.latency = settings::outputLatencyFor(settings::EngineSettings{}.bufferSeconds);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--period" && i + 1 < argc)
            setup.period = std::atoi(argv[++i]);
        else if (arg == "--latency" && i + 1 < argc)
            setup.latency = std::atof(argv[++i]);
        else if (arg == "--keylock")
            keyLock = true;
        else
            seconds = std::atof(argv[i]);
    }
    const auto made = bench::tenMinuteSongs();
    if (!made) return std::puts("(no ffmpeg: dropout bench skipped)"), 0;
    const std::vector<std::string> songs{made->cbr, made->vbr, made->wma};

    audio::engine::Engine engine;
    engine.configureOutput(setup);
    if (!engine.init(-1, 44100, 0) || !engine.start())
        return std::printf("the output did not start (error %d)\n", engine.errorCode()), 1;
    const audio::OutputStatus status = engine.outputStatus();
    std::printf("output: %s, %.1f ms latency, %d-frame periods, %.0f s%s\n", status.backend.c_str(),
                status.latency * 1000, status.period, seconds,
                keyLock ? ", key lock on both decks" : "");

    const auto load = [&](const std::string& path) {
        audio::Handle h = engine.wmaStreamCreateFile(path, 0);
        if (!h) h = engine.streamCreateFile(path, 0);
        if (!h) return h;
        engine.channelSetPosition(h, engine.streamLength(h) / 3 / 4 * 4);
        engine.streamPreBuf(h);
        engine.channelSetAttributes(h, audio::kKeepRate, 40, 0);
        if (keyLock) engine.setKeyLock(audio::StreamId(h), {true, audio::Hz(0), 0});
        engine.streamPlay(h, false, 0);
        return h;
    };
    audio::Handle decks[2] = {load(songs[0]), load(songs[1])};
    const auto start = steady_clock::now();
    int tick = 0, loads = 0;
    while (duration<double>(steady_clock::now() - start).count() < seconds) {
        // The display tick: 80 ms, with a pitch move on both decks each time.
        std::this_thread::sleep_for(milliseconds(80));
        ++tick;
        const double t = tick * 0.08;
        for (int d = 0; d < 2; ++d) {
            const double pitch = 0.08 * std::sin(t / (3.0 + d));
            engine.channelSetAttributes(decks[d], int(std::lrint(44100 * (1 + pitch))),
                                        audio::kKeepVolume, audio::kKeepPan);
            (void)engine.channelPosition(decks[d]);
            (void)engine.channelLevel(decks[d]);
        }
        engine.service();
        if (tick % 375 == 0) {  // every 30 s, the other deck in turn
            audio::Handle& deck = decks[loads % 2];
            engine.streamFree(deck);
            deck = load(songs[std::size_t(loads) % songs.size()]);
            ++loads;
        }
    }
    const audio::DropoutCounts lost = engine.dropouts();
    std::printf(
        "dropouts: %llu underruns, %llu late periods, %llu frames of silence over %d "
        "loads (target 0)\n",
        (unsigned long long)lost.underruns, (unsigned long long)lost.lateCallbacks,
        (unsigned long long)lost.starvedFrames, loads);
    engine.release();
    return 0;
}
