// How long from a controller's note-on to the sound on kelvra:master_1, beside a plain JACK client
// that turns the same note into sound in its own process callback, in the same run. Three JACK
// clients of this program's own: "bench-pads" plays the notes, "bench-plain" is the baseline,
// and "bench-ears" records kelvra:master_1 and bench-plain:out. The note's frame and the first
// changed sample's frame are both JACK frame times (the period's first frame plus the offset in
// it), so the latency is on one clock. Between notes the deck is paused through the mapping and
// the bench waits for silence on both. Run by midi_sound_latency.sh, which starts the server and
// the program:  midi_sound_latency_bench NOTES
//
// The mapping the program is given binds note 36 on channel 1 to the left deck's play button and
// note 37 to its pause button; the program was started with a song, and is playing it.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "BenchFigures.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned char kPlay = 36, kPause = 37;
// The paused deck and the silent baseline give exact zeros; the start fade's first sample is
// well above this.
constexpr float kChanged = 1e-6f;

struct Shared {
    jack_port_t* padsOut = nullptr;
    jack_port_t* plainIn = nullptr;
    jack_port_t* plainOut = nullptr;
    jack_port_t* ears[2] = {nullptr, nullptr};
    jack_client_t* pads = nullptr;
    jack_client_t* ears_ = nullptr;

    // The test thread asks for a note at an offset in the next period; the pads' callback plays
    // it and says at which frame.
    std::atomic<int> wanted{-1};
    std::atomic<jack_nframes_t> wantedOffset{0};
    std::atomic<jack_nframes_t> noteFrame{0};
    std::atomic<bool> notePlayed{false};

    // The baseline's state: sounding from a play note's frame, silent from a pause note's.
    bool plainSounding = false;

    // The ears: the first changed frame at or after `noteFrame` (0: none yet) and how many
    // silent frames in a row each channel has ended on.
    std::atomic<bool> listening{false};
    std::atomic<jack_nframes_t> firstChanged[2] = {0, 0};
    std::atomic<jack_nframes_t> silentRun[2] = {0, 0};
};

int padsProcess(jack_nframes_t frames, void* arg) {
    auto& s = *static_cast<Shared*>(arg);
    void* buffer = jack_port_get_buffer(s.padsOut, frames);
    jack_midi_clear_buffer(buffer);
    const int note = s.wanted.exchange(-1);
    if (note >= 0) {
        const jack_nframes_t at = std::min(s.wantedOffset.load(), frames - 2);
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), 100};
        const unsigned char off[3] = {0x80, static_cast<unsigned char>(note), 0};
        // A tap: the button acts as a mouse click does, on release, so the release follows at
        // once.
        jack_midi_event_write(buffer, at, on, 3);
        jack_midi_event_write(buffer, at + 1, off, 3);
        s.noteFrame.store(jack_last_frame_time(s.pads) + at);
        s.notePlayed.store(true);
    }
    return 0;
}

int plainProcess(jack_nframes_t frames, void* arg) {
    auto& s = *static_cast<Shared*>(arg);
    void* in = jack_port_get_buffer(s.plainIn, frames);
    auto* out = static_cast<float*>(jack_port_get_buffer(s.plainOut, frames));
    const std::uint32_t count = jack_midi_get_event_count(in);
    std::uint32_t next = 0;
    jack_midi_event_t event{};
    bool have = count > 0 && jack_midi_event_get(&event, in, next) == 0;
    for (jack_nframes_t i = 0; i < frames; ++i) {
        while (have && event.time <= i) {
            if (event.size == 3 && (event.buffer[0] & 0xF0) == 0x90 && event.buffer[2] > 0)
                s.plainSounding = event.buffer[1] == kPlay;
            have = ++next < count && jack_midi_event_get(&event, in, next) == 0;
        }
        out[i] = s.plainSounding ? 0.5f : 0.0f;
    }
    return 0;
}

int earsProcess(jack_nframes_t frames, void* arg) {
    auto& s = *static_cast<Shared*>(arg);
    const jack_nframes_t first = jack_last_frame_time(s.ears_);
    const bool listening = s.listening.load();
    const jack_nframes_t from = s.noteFrame.load();
    for (int c = 0; c < 2; ++c) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(s.ears[c], frames));
        jack_nframes_t run = s.silentRun[c].load();
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const bool changed = std::fabs(in[i]) > kChanged;
            run = changed ? 0 : run + 1;
            if (changed && listening && s.firstChanged[c].load() == 0 &&
                jack_nframes_t(first + i - from) < 0x80000000u)
                s.firstChanged[c].store(first + i);
        }
        s.silentRun[c].store(run);
    }
    return 0;
}

template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

using kelvra::bench::Figures;
using kelvra::bench::figuresOf;

}  // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::atoi(argv[1]) : 20;
    Shared s;
    s.pads = jack_client_open("bench-pads", JackNoStartServer, nullptr);
    jack_client_t* plain = jack_client_open("bench-plain", JackNoStartServer, nullptr);
    s.ears_ = jack_client_open("bench-ears", JackNoStartServer, nullptr);
    if (!s.pads || !plain || !s.ears_) {
        // Run bare (as `make bench` runs every bench), there is nothing to measure under: the
        // script starts the server and says how.
        std::puts("(no JACK server: run bench/midi_sound_latency.sh; skipped)");
        return 0;
    }
    s.padsOut = jack_port_register(s.pads, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    s.plainIn = jack_port_register(plain, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    s.plainOut = jack_port_register(plain, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    s.ears[0] = jack_port_register(s.ears_, "kelvra", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    s.ears[1] = jack_port_register(s.ears_, "plain", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(s.pads, padsProcess, &s);
    jack_set_process_callback(plain, plainProcess, &s);
    jack_set_process_callback(s.ears_, earsProcess, &s);
    jack_activate(s.pads);
    jack_activate(plain);
    jack_activate(s.ears_);
    jack_connect(s.pads, "bench-pads:out", "bench-plain:in");
    jack_connect(s.pads, "bench-plain:out", "bench-ears:plain");
    const jack_nframes_t period = jack_get_buffer_size(s.pads);
    const jack_nframes_t rate = jack_get_sample_rate(s.pads);
    const double frameMs = 1000.0 / rate;

    // The program opens bench-pads:out once it is up (the settings chose it); its master port
    // is there by then too.
    if (!waitUntil(
            [&] {
                return jack_port_connected(s.padsOut) > 1 &&
                       jack_port_by_name(s.ears_, "kelvra:master_1") != nullptr;
            },
            30s)) {
        std::fprintf(stderr, "the program did not open the bench's MIDI port\n");
        return 1;
    }
    jack_connect(s.ears_, "kelvra:master_1", "bench-ears:kelvra");
    // The song on the command line is playing before the first pause, or that pause is lost
    // and the song's own start is taken for the first note's.
    if (!waitUntil([&] { return s.silentRun[0].load() == 0; }, 30s)) {
        std::fprintf(stderr, "the program is not playing its song\n");
        return 1;
    }
    std::this_thread::sleep_for(500ms);

    auto tap = [&](unsigned char note, jack_nframes_t offset) {
        s.notePlayed.store(false);
        s.wantedOffset.store(offset);
        s.wanted.store(note);
        return waitUntil([&] { return s.notePlayed.load(); }, 1000ms);
    };
    // 50 ms of silence on both.
    const jack_nframes_t quiet = rate / 20;
    auto silent = [&] { return s.silentRun[0] > quiet && s.silentRun[1] > quiet; };

    std::mt19937 random(11);
    std::vector<double> kelvraMs, plainMs;
    for (int n = 0; n < notes; ++n) {
        s.listening.store(false);
        if (!tap(kPause, 0) || !waitUntil(silent, 3000ms)) {
            std::fprintf(stderr, "note %d: the deck did not fall silent\n", n);
            continue;
        }
        // Anywhere in the UI thread's idle time, and anywhere in the period.
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + random() % 30000));
        s.firstChanged[0].store(0);
        s.firstChanged[1].store(0);
        s.listening.store(true);
        if (!tap(kPlay, jack_nframes_t(random() % (period - 1)))) continue;
        if (!waitUntil([&] { return s.firstChanged[0] != 0 && s.firstChanged[1] != 0; }, 2000ms)) {
            std::fprintf(stderr, "note %d: nothing was heard\n", n);
            continue;
        }
        const jack_nframes_t from = s.noteFrame.load();
        kelvraMs.push_back(double(s.firstChanged[0].load() - from) * frameMs);
        plainMs.push_back(double(s.firstChanged[1].load() - from) * frameMs);
    }
    if (kelvraMs.empty()) return 1;
    const Figures k = figuresOf(kelvraMs), p = figuresOf(plainMs);
    std::printf(
        "period %u frames (%.2f ms) at %u Hz, %zu notes: baseline min %.3f median %.3f ms | "
        "Kelvra note-on to sound min %.3f median %.3f max %.3f ms\n",
        period, period * frameMs, rate, kelvraMs.size(), p.min, p.median, k.min, k.median,
        *std::max_element(kelvraMs.begin(), kelvraMs.end()));
    // One line of raw figures for the script to pool over runs.
    std::printf("raw kelvra");
    for (double ms : kelvraMs)
        std::printf(" %.3f", ms);
    std::printf("\nraw plain");
    for (double ms : plainMs)
        std::printf(" %.3f", ms);
    std::printf("\n");
    jack_client_close(s.ears_);
    jack_client_close(plain);
    jack_client_close(s.pads);
    return 0;
}
