// How late a controller's note-on reaches the UI thread through Kelvra's MIDI devices, beside a
// plain JACK client hearing the same note in the same run. A sender client plays one note-on at
// a time at the start of a period; both listeners are connected to it. The time each heard it,
// less the time the sender's process callback played it (both on JACK's microsecond clock), is
// the latency. Run under a JACK server (see midi_latency.sh):  midi_latency_bench [RUNS] [NOTES]
#include <jack/jack.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "controllers/MidiDevices.h"
#include "support/JackMidiClient.h"

using namespace kelvra;

namespace {

using bench::Figures;
using bench::figuresOf;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int notes = argc > 2 ? std::atoi(argv[2]) : 200;

    test::JackMidiClient sender("bench-sender"), plain("bench-plain");
    if (!sender.ok() || !plain.ok() || !sender.plugIn() || !plain.plugIn()) {
        // Run bare (as `make bench` runs every bench), there is nothing to measure under: the
        // script starts the server and says how.
        std::puts("(no JACK server: run bench/midi_latency.sh; skipped)");
        return 0;
    }
    jack_connect(sender.client(), "bench-sender:out", "bench-plain:in");
    const jack_nframes_t period = jack_get_buffer_size(sender.client());
    const jack_nframes_t rate = jack_get_sample_rate(sender.client());

    const auto clock = makeQtClock();
    controllers::MidiDevices devices(*clock, controllers::MidiApi::Jack);
    devices.setChosenInputs({QStringLiteral("bench-sender:out")});
    if (devices.openInputs().isEmpty()) {
        std::fprintf(stderr, "Kelvra's MIDI input did not open: %s\n",
                     qPrintable(devices.problem()));
        return 1;
    }
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    jack_time_t heardAt = 0;
    QObject::connect(&devices, &controllers::MidiDevices::received,
                     [&](controllers::MidiMessage, const QString&) {
                         heardAt = jack_get_time();
                         loop.quit();
                     });

    std::printf("period %u frames (%.2f ms) at %u Hz, %d note-ons a run\n", period,
                1000.0 * period / rate, rate, notes);
    std::mt19937 random(7);
    std::vector<double> allPlain, allKelvra, runMedianPlain, runMedianKelvra;
    for (int run = 1; run <= runs; ++run) {
        std::vector<double> plainMs, kelvraMs;
        for (int n = 0; n < notes; ++n) {
            // Off the period's beat, so the note falls anywhere in the UI thread's idle time.
            std::this_thread::sleep_for(std::chrono::microseconds(3000 + random() % 9000));
            const std::size_t before = plain.heard().size();
            heardAt = 0;
            sender.play({{0x90, 60, 100}});
            timeout.start(1000);
            loop.exec();
            timeout.stop();
            if (heardAt == 0) continue;
            for (int wait = 0; wait < 100 && plain.heard().size() == before; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (plain.heard().size() == before) continue;
            const double played = double(sender.lastPlayedAt());
            kelvraMs.push_back((double(heardAt) - played) / 1000.0);
            plainMs.push_back((double(plain.heard().back().at) - played) / 1000.0);
        }
        if (kelvraMs.empty()) {
            std::fprintf(stderr, "run %d: nothing arrived\n", run);
            return 1;
        }
        const Figures p = figuresOf(plainMs), k = figuresOf(kelvraMs);
        std::printf(
            "run %d: plain JACK client min %.3f median %.3f ms | Kelvra device layer to "
            "UI thread min %.3f median %.3f ms (%zu notes)\n",
            run, p.min, p.median, k.min, k.median, kelvraMs.size());
        allPlain.insert(allPlain.end(), plainMs.begin(), plainMs.end());
        allKelvra.insert(allKelvra.end(), kelvraMs.begin(), kelvraMs.end());
        runMedianPlain.push_back(p.median);
        runMedianKelvra.push_back(k.median);
    }
    const Figures p = figuresOf(allPlain), k = figuresOf(allKelvra);
    const double periodMs = 1000.0 * period / rate;
    std::printf(
        "all runs: baseline min %.3f median %.3f ms; Kelvra min %.3f median %.3f ms "
        "(%.2f of a period); the device layer adds %.3f ms at the median\n",
        p.min, p.median, k.min, k.median, k.median / periodMs, k.median - p.median);
    std::printf("medians of the runs: baseline %.3f..%.3f ms, Kelvra %.3f..%.3f ms\n",
                *std::min_element(runMedianPlain.begin(), runMedianPlain.end()),
                *std::max_element(runMedianPlain.begin(), runMedianPlain.end()),
                *std::min_element(runMedianKelvra.begin(), runMedianKelvra.end()),
                *std::max_element(runMedianKelvra.begin(), runMedianKelvra.end()));
    return 0;
}
