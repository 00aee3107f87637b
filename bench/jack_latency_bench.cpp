// Margin under a JACK server (see jack_latency.sh, which starts the dummy server at each period):
// with `kelvra`, both decks play with the pitch moving, one deck is loaded 100 times and a song
// is analysed meanwhile, all through the engine's own JACK client; with `baseline`, the server's
// example client jack_simple_client runs instead. Prints the xruns the server reported, its DSP
// load, and for Kelvra how long its callbacks took as shares of the period.
// Usage: jack_latency_bench kelvra|baseline [seconds, default 60]
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "BenchSongs.h"
#include "audio/analysis/SongAnalysis.h"
#include "audio/engine/Engine.h"

namespace {

using namespace std::chrono;

// A client of its own that counts the server's xruns and samples its DSP load.
struct Observer {
    jack_client_t* client = jack_client_open("xrun-observer", JackNoStartServer, nullptr);
    std::atomic<int> xruns{0};
    std::vector<float> loads;
    Observer() {
        if (!client) return;
        jack_set_xrun_callback(
            client,
            [](void* self) {
                ++static_cast<Observer*>(self)->xruns;
                return 0;
            },
            this);
        jack_activate(client);
    }
    ~Observer() {
        if (client) jack_client_close(client);
    }
    void sample() { loads.push_back(jack_cpu_load(client)); }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvra;
    const bool baseline = argc > 1 && std::string(argv[1]) == "baseline";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
    Observer observer;
    if (!observer.client) return std::puts("(no JACK server: latency bench skipped)"), 0;
    const int period = int(jack_get_buffer_size(observer.client));
    const int rate = int(jack_get_sample_rate(observer.client));
    const auto start = steady_clock::now();
    const auto elapsed = [&] { return duration<double>(steady_clock::now() - start).count(); };
    int loads = 0;
    audio::engine::CallbackTimes times;
    // Joining and leaving the graph makes xruns of its own in the dummy server: only the second
    // from the first on, up to the end of the run, is counted.
    int xrunsBefore = -1, xrunsAfter = 0;
    const auto window = [&] {
        if (xrunsBefore < 0 && elapsed() >= 1) xrunsBefore = observer.xruns.load();
        xrunsAfter = observer.xruns.load();
    };

    if (baseline) {
        const pid_t child = fork();
        if (child == 0) {
            execlp("jack_simple_client", "jack_simple_client", static_cast<char*>(nullptr));
            _exit(127);
        }
        while (elapsed() < seconds) {
            std::this_thread::sleep_for(milliseconds(100));
            if (elapsed() >= 1) observer.sample();
            window();
        }
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    } else {
        const auto made = bench::tenMinuteSongs();
        if (!made) return std::puts("(no ffmpeg: latency bench skipped)"), 0;
        setenv("KELVRA_AUDIO", "jack", 1);
        audio::engine::Engine engine;
        if (!engine.init(-1, 44100, 0) || !engine.start())
            return std::printf("the JACK output did not start (error %d)\n", engine.errorCode()), 1;
        const auto play = [&](const std::string& path) {
            audio::Handle h = engine.wmaStreamCreateFile(path, 0);
            if (!h) h = engine.streamCreateFile(path, 0);
            engine.channelSetAttributes(h, audio::kKeepRate, 40, 0);
            engine.streamPlay(h, false, 0);
            return h;
        };
        const std::vector<std::string> songs{made->cbr, made->vbr, made->wma};
        audio::Handle decks[2] = {play(songs[0]), play(songs[1])};
        std::jthread analysis([&](std::stop_token stop) {
            while (!stop.stop_requested())
                audio::analysis::analyseFile(made->vbr, stop);
        });
        const double loadEvery = seconds / 100;
        int tick = 0;
        while (elapsed() < seconds) {
            std::this_thread::sleep_for(milliseconds(20));
            if (++tick % 5 == 0 && elapsed() >= 1) observer.sample();
            window();
            for (int d = 0; d < 2; ++d)
                engine.channelSetAttributes(
                    decks[d], int(std::lrint(44100 * (1 + 0.08 * std::sin(elapsed() / (2 + d))))),
                    audio::kKeepVolume, audio::kKeepPan);
            engine.service();
            if (elapsed() > (loads + 1) * loadEvery && loads < 100) {
                engine.streamFree(decks[1]);
                decks[1] = play(songs[std::size_t(loads) % songs.size()]);
                ++loads;
            }
        }
        analysis.request_stop();
        analysis.join();
        times = engine.callbackTimes();
        engine.release();
    }
    std::sort(observer.loads.begin(), observer.loads.end());
    const double meanLoad = observer.loads.empty() ? 0
                                                   : std::accumulate(observer.loads.begin(),
                                                                     observer.loads.end(), 0.0) /
                                                         double(observer.loads.size());
    std::printf("%-10s period %4d at %d Hz: %d xruns, DSP load mean %.1f %% max %.1f %%",
                baseline ? "baseline" : "kelvra", period, rate,
                xrunsAfter - std::max(xrunsBefore, 0), meanLoad,
                observer.loads.empty() ? 0.0 : double(observer.loads.back()));
    if (!baseline)
        std::printf(", callback mean %.1f %% p99 %.0f %% max %.1f %% of the period, %d loads",
                    times.mean * 100, times.p99 * 100, times.max * 100, loads);
    std::printf("\n");
    return 0;
}
