// The JACK output, natively rather than through PortAudio, so the ports have names and the
// server's own xrun reports reach the dropout count: client "kelvra" with ports master_1/2,
// connected to the first two physical playback ports, and phones_1/2, connected to the third and
// fourth when the DJ routes the headphones there (otherwise left for the DJ to connect). The mix
// runs at the server's rate and period, whatever the program asked for.
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/engine/Output.h"

namespace kelvra::audio::engine {
namespace {

class JackOutput final : public Output {
  public:
    JackOutput(MixBus& mixer, const OutputSetup& setup)
        : mixer_(mixer),
          setup_(setup),
          mix_(std::size_t(MixBus::kMaxPeriod) * 2),
          phones_(std::size_t(MixBus::kMaxPeriod) * 2) {}
    ~JackOutput() override {
        stop();
        if (client_) jack_client_close(client_);
    }

    int open() {
        // Never starts a server of its own: a DJ who chose JACK runs one, and a server started
        // behind their back would hold the sound card with settings nobody chose.
        jack_status_t status{};
        // The DJ's connections are made to the ports by the client's name. A client of ours just
        // closed (the old one of a reopened output) can hold that name on a busy server a little
        // longer: wait for it rather than become "kelvra-01". Held for good, by another program
        // or a second Kelvra, the server's own choice of name is better than no sound. (A name
        // taken is refused as a server error; no server at all is JackServerFailed.)
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
        for (;;) {
            client_ = jack_client_open(kClientName,
                                       JackOptions(JackNoStartServer | JackUseExactName), &status);
            if (client_ || (status & JackServerFailed) ||
                std::chrono::steady_clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!client_ && !(status & JackServerFailed))
            client_ = jack_client_open(kClientName, JackNoStartServer, &status);
        if (!client_) return kErrorDevice;
        rate_ = int(jack_get_sample_rate(client_));
        for (int c = 0; c < 4; ++c) {
            const std::string name = (c < 2 ? "master_" : "phones_") + std::to_string(c % 2 + 1);
            ports_[c] = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsOutput | JackPortIsTerminal, 0);
            if (!ports_[c]) return kErrorDevice;
        }
        jack_set_process_callback(client_, &JackOutput::process, this);
        jack_set_xrun_callback(client_, &JackOutput::xrun, this);
        jack_on_shutdown(client_, &JackOutput::shutdown, this);
        return kErrorOk;
    }

    bool start() override {
        if (active_) return true;
        if (jack_activate(client_) != 0) {
            error_ = kErrorStart;
            return false;
        }
        active_ = true;
        connectToPlayback();
        return true;
    }

    void stop() override {
        if (!active_) return;
        if (!serverGone_) jack_deactivate(client_);
        active_ = false;
    }

    int rate() const override { return rate_; }
    bool lost() const override { return serverGone_; }
    int period() const override { return client_ ? int(jack_get_buffer_size(client_)) : 0; }
    double latency() const override {
        jack_latency_range_t range{};
        jack_port_get_latency_range(ports_[0], JackPlaybackLatency, &range);
        return rate_ > 0
                   ? double(std::max<jack_nframes_t>(range.max, jack_nframes_t(period()))) / rate_
                   : 0;
    }
    // The headphone ports are an output of their own whether or not the DJ has connected them:
    // the main ports never carry the cue.
    bool phones() const override { return true; }
    std::string name() const override { return "JACK"; }

    static constexpr const char* kClientName = "kelvra";

  private:
    void connectToPlayback() {
        const char** targets = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                              JackPortIsPhysical | JackPortIsInput);
        if (!targets) return;
        int count = 0;
        while (targets[count])
            ++count;
        const int wanted = setup_.phones == PhonesRoute::Channels34 ? 4 : 2;
        for (int c = 0; c < std::min(count, wanted); ++c)
            jack_connect(client_, jack_port_name(ports_[c]), targets[c]);
        jack_free(targets);
    }

    static int process(jack_nframes_t frames, void* self) {
        auto& out = *static_cast<JackOutput*>(self);
        const MixingScope mixing(ThreadRole::Device);
        const auto started = std::chrono::steady_clock::now();
        float* port[4];
        for (int c = 0; c < 4; ++c)
            port[c] = static_cast<float*>(jack_port_get_buffer(out.ports_[c], frames));
        // JACK's ports take floats: the mix goes to them as it was made, never through 16 bits.
        for (jack_nframes_t done = 0; done < frames;) {
            const int n = int(std::min<jack_nframes_t>(frames - done, MixBus::kMaxPeriod));
            out.mixer_.process(out.mix_.data(), out.phones_.data(), n, false);
            for (int i = 0; i < n; ++i) {
                const std::size_t at = done + jack_nframes_t(i);
                port[0][at] = out.mix_[std::size_t(2 * i)];
                port[1][at] = out.mix_[std::size_t(2 * i + 1)];
                port[2][at] = out.phones_[std::size_t(2 * i)];
                port[3][at] = out.phones_[std::size_t(2 * i + 1)];
            }
            done += jack_nframes_t(n);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        out.mixer_.noteCallback(took.count() * out.rate_ / double(frames));
        return 0;
    }

    static int xrun(void* self) {
        static_cast<JackOutput*>(self)->mixer_.countUnderrun();
        return 0;
    }

    static void shutdown(void* self) { static_cast<JackOutput*>(self)->serverGone_ = true; }

    MixBus& mixer_;
    const OutputSetup setup_;
    // One chunk of the mix and of the headphones, before they are split to the ports.
    std::vector<float> mix_, phones_;
    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[4] = {};
    int rate_ = 0;
    bool active_ = false;
    std::atomic<bool> serverGone_{false};
};

void sayNothing(const char*) {}
void sayOnStandardError(const char* message) {
    std::fprintf(stderr, "%s\n", message);
}

}  // namespace

std::unique_ptr<Output> probeJackOutput(MixBus& mixer, const OutputSetup& setup) {
    // The library tells of every failed connection; a look every few seconds would fill the
    // terminal with them.
    jack_set_error_function(sayNothing);
    int error = kErrorOk;
    std::unique_ptr<Output> output = makeJackOutput(mixer, setup, error);
    jack_set_error_function(sayOnStandardError);
    return output;
}

std::unique_ptr<Output> makeJackOutput(MixBus& mixer, const OutputSetup& setup, int& error) {
    auto output = std::make_unique<JackOutput>(mixer, setup);
    error = output->open();
    if (error != kErrorOk) return nullptr;
    return output;
}

}  // namespace kelvra::audio::engine
