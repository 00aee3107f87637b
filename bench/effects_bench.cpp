// What the effect units cost on the audio thread, beside the plain mix in the same run: two
// pitched decks mixed offline in 128-frame periods with every unit off, then with all four units
// on both decks and the main mix, each running reverb, flanger and echo (the costliest chain),
// first on music and then on silence (a tail ringing into nothing must cost no more than a
// loud one: denormals are flushed).
// Usage: effects_bench [seconds of audio per run, default 20]
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "BenchDecoders.h"
#include "BenchFigures.h"
#include "audio/engine/Engine.h"
#include "audio/fx/Builtins.h"
#include "audio/fx/Rack.h"

namespace {

using namespace kelvra::audio;
using kelvra::bench::MemoryDecoder;
using kelvra::bench::threadCpuSeconds;

constexpr int kRate = 44100;
constexpr int kPeriod = 128;

enum class Units { Off, AllOnMusic, AllOnSilence };

// The render thread's CPU seconds per second of audio.
double share(double seconds, Units units) {
    std::vector<std::int16_t> music(std::size_t(kRate * (seconds * 1.1 + 2)) * 2, 0);
    if (units != Units::AllOnSilence)
        for (std::size_t i = 0; i < music.size() / 2; ++i) {
            const double t = double(i) / kRate;
            // A beat's worth of thump and a tone: something for the echo and reverb to repeat.
            const double thump = std::fmod(t, 0.5) < 0.05 ? 0.5 : 0.0;
            music[2 * i] = std::int16_t(9000 * std::sin(2 * std::numbers::pi * 440 * t) +
                                        6000 * thump * std::sin(2 * std::numbers::pi * 60 * t));
            music[2 * i + 1] = std::int16_t(8000 * std::sin(2 * std::numbers::pi * 660 * t));
        }
    const auto opener = [&](const std::string&, OpenMode) {
        return OpenedFile{std::make_unique<MemoryDecoder>(music, kRate), 0, {}};
    };
    engine::Engine engine({opener, opener});
    engine.setBufferLength(2.0f);
    engine.initOffline(kRate);
    const Handle left = engine.streamCreateFile("left", 0);
    const Handle right = engine.streamCreateFile("right", 0);
    engine.channelSetAttributes(left, int(kRate * 1.06), 90, -20);
    engine.channelSetAttributes(right, int(kRate * 0.97), 70, 30);
    int bus = 0;
    for (Handle h : {left, right}) {
        ChannelEffects effects;
        effects.effectBus = bus++;
        engine.setEffects(StreamId(h), effects);
        engine.streamPreBuf(h);
        engine.streamPlay(h, false, 0);
    }
    fx::Rack& rack = engine.effectUnits();
    if (units != Units::Off)
        for (int u = 0; u < fx::kUnits; ++u) {
            const char* chain[fx::kSlots] = {"reverb", "flanger", "echo"};
            for (int s = 0; s < fx::kSlots; ++s) {
                std::array<std::unique_ptr<fx::Effect>, fx::kBuses> copies;
                for (auto& copy : copies)
                    copy = fx::makeBuiltin(chain[s]);
                if (!copies[0]) {
                    std::fprintf(stderr, "no built-in %s\n", chain[s]);
                    std::exit(1);
                }
                rack.load(u, s, std::move(copies));
            }
            for (fx::Bus on : {fx::Bus::LeftDeck, fx::Bus::RightDeck, fx::Bus::Main})
                rack.setAssigned(u, on, true);
            rack.setMix(u, 0.5f);
            rack.setUnitOn(u, true);
        }
    const int periods = int(seconds * kRate / kPeriod);
    std::vector<std::int16_t> out(2 * kPeriod);
    // A second to settle: the units glide on and the reverbs fill up.
    for (int p = 0; p < kRate / kPeriod; ++p)
        engine.render(out.data(), kPeriod);
    const double start = threadCpuSeconds();
    for (int p = 0; p < periods; ++p)
        engine.render(out.data(), kPeriod);
    return (threadCpuSeconds() - start) / (double(periods) * kPeriod / kRate);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    constexpr int kRuns = 5;
    std::vector<double> plain, all, silent, perUnit;
    // Taken in turn, so the machine's moods fall on all three alike.
    for (int run = 0; run < kRuns; ++run) {
        plain.push_back(100 * share(seconds, Units::Off));
        all.push_back(100 * share(seconds, Units::AllOnMusic));
        silent.push_back(100 * share(seconds, Units::AllOnSilence));
        perUnit.push_back((all.back() - plain.back()) / fx::kUnits);
    }
    const auto print = [](const char* name, const std::vector<double>& values, const char* goal) {
        const kelvra::bench::Figures f = kelvra::bench::figuresOf(values);
        std::printf("%-58s %7.2f %% min %7.2f %% median of one core%s\n", name, f.min, f.median,
                    goal);
    };
    std::printf("two pitched decks, %d-frame periods at %d Hz, %d runs of %.0f s\n", kPeriod, kRate,
                kRuns, seconds);
    print("plain mix, every unit off", plain, "");
    print("4 units x (reverb, flanger, echo) on both decks + main", all, "  (goal < 30 %)");
    print("  the same on silence (tails into nothing)", silent, "  (goal: no more than music)");
    print("  one unit of three effects on three buses", perUnit, "");
    return 0;
}
