// The JACK output against a real server: jackd with its dummy back end, started and stopped by
// the test under a name of its own. The program's ports are named and connected to the playback
// ports, and the mix runs at the server's rate even when another was asked for.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/EngineTestSupport.h"
#include "support/DummyJackServer.h"

namespace kelvra::test {
namespace {

using namespace std::chrono_literals;

constexpr int kServerRate = 48000;

// A client that records what reaches its input port.
class Recorder {
  public:
    explicit Recorder(const char* name = "recorder") : samples_(std::size_t(kServerRate) * 10) {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &Recorder::process, this);
        jack_on_shutdown(
            client_, [](void* self) { static_cast<Recorder*>(self)->gone_ = true; }, this);
        jack_activate(client_);
    }
    ~Recorder() {
        // After its server died the JACK library tears its shared state down with the first
        // client closed (the engine's): closing a second one then crashes inside it.
        if (client_ && !gone_) jack_client_close(client_);
    }
    bool ok() const { return client_ && in_; }
    bool listenTo(const char* port) {
        return jack_connect(client_, port, jack_port_name(in_)) == 0;
    }
    jack_client_t* client() const { return client_; }
    std::vector<float> heard() const {
        return {samples_.begin(), samples_.begin() + std::ptrdiff_t(count_.load())};
    }

  private:
    static int process(jack_nframes_t frames, void* self) {
        auto& r = *static_cast<Recorder*>(self);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(r.in_, frames));
        std::size_t at = r.count_.load();
        for (jack_nframes_t i = 0; i < frames && at < r.samples_.size(); ++i)
            r.samples_[at++] = in[i];
        r.count_.store(at);
        return 0;
    }
    std::vector<float> samples_;
    std::atomic<std::size_t> count_{0};
    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::atomic<bool> gone_{false};
};

// Upward zero crossings per second over the part that is sounding.
double frequencyOf(const std::vector<float>& samples) {
    std::size_t first = 0;
    while (first < samples.size() && std::abs(samples[first]) < 0.05f)
        ++first;
    first += kServerRate / 10;  // past the start's fade
    int crossings = 0;
    std::size_t from = 0, to = 0;
    for (std::size_t i = first + 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            if (crossings == 0) from = i;
            to = i;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * double(kServerRate) / double(to - from) : 0;
}

TEST(JackOutput, PlaysOnNamedPortsAtTheServersRateAndFallsBackWhenTheServerStops) {
    if (system("command -v jackd >/dev/null 2>&1") != 0) GTEST_SKIP() << "jackd is not installed";
    DummyJackServer server;
    ASSERT_TRUE(server.up()) << "the dummy JACK server did not come up";

    TestFiles files;
    files.add("tone.mp3", sineFile(44100, 2, 5.0, 1000.0, 0.5));
    setenv("KELVRA_AUDIO", "jack", 1);
    audio::engine::Engine engine(files.openers());
    audio::OutputSetup setup;
    setup.backend = audio::OutputBackend::Jack;
    setup.phones = audio::PhonesRoute::Channels34;
    ASSERT_TRUE(engine.configureOutput(setup));
    // Asked for 44.1 kHz, the engine plays at the server's 48 kHz.
    const bool initialised = engine.init(-1, 44100, 0);
    setenv("KELVRA_AUDIO", "null", 1);
    ASSERT_TRUE(initialised) << "error " << engine.errorCode();

    Recorder recorder;
    ASSERT_TRUE(recorder.ok());
    jack_port_t* master1 = jack_port_by_name(recorder.client(), "kelvra:master_1");
    ASSERT_NE(master1, nullptr);
    ASSERT_NE(jack_port_by_name(recorder.client(), "kelvra:master_2"), nullptr);
    // Connected to the playback ports, as a DJ who starts the program expects to hear it.
    EXPECT_TRUE(jack_port_connected_to(master1, "system:playback_1"));
    ASSERT_TRUE(recorder.listenTo("kelvra:master_1"));
    // The headphones on the third and fourth playback ports, as the DJ routed them.
    jack_port_t* phones1 = jack_port_by_name(recorder.client(), "kelvra:phones_1");
    ASSERT_NE(phones1, nullptr);
    ASSERT_NE(jack_port_by_name(recorder.client(), "kelvra:phones_2"), nullptr);
    EXPECT_TRUE(jack_port_connected_to(phones1, "system:playback_3"));
    EXPECT_TRUE(engine.phonesOutput());
    const audio::OutputStatus status = engine.outputStatus();
    EXPECT_EQ(status.backend, "JACK");
    EXPECT_EQ(status.rate, kServerRate);
    EXPECT_EQ(status.period, 256);
    EXPECT_GE(status.latency, 256.0 / kServerRate);
    Recorder phones("phones-recorder");
    ASSERT_TRUE(phones.ok());
    ASSERT_TRUE(phones.listenTo("kelvra:phones_1"));

    const audio::Handle h = engine.streamCreateFile("tone.mp3", 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine.channelSetCue(h, 100));
    engine.setPhonesMix(100, 0, false);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(1500ms);
    const std::vector<float> heard = recorder.heard();
    ASSERT_GT(heard.size(), std::size_t(kServerRate));
    // 1 kHz: a mix made for 44.1 kHz and played at 48 would read 1088 Hz.
    EXPECT_NEAR(frequencyOf(heard), 1000.0, 3.0);
    EXPECT_NEAR(frequencyOf(phones.heard()), 1000.0, 3.0) << "the cue reaches the headphones";

    // The server stops mid-song: the display tick finds the output gone, the mix goes on through
    // another output and the DJ is told, once.
    server.stop();
    std::string notice;
    for (int i = 0; i < 50 && notice.empty(); ++i) {
        std::this_thread::sleep_for(20ms);
        engine.service();
        notice = engine.takeOutputNotice();
    }
    EXPECT_NE(notice.find("The sound server stopped"), std::string::npos) << notice;
    EXPECT_EQ(engine.takeOutputNotice(), "");
    const std::uint64_t before = engine.stats().renderedFrames;
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(engine.stats().renderedFrames, before + 44100 / 10) << "the mix stopped";
    EXPECT_TRUE(engine.channelSetPosition(h, 0)) << "commands reach the new output";
    engine.release();
}

// The server comes back after it stopped: the mix goes back to it by itself, under the same client
// and port names, and the move to the other output and back is no dropout of Kelvra's.
TEST(JackOutput, GoesBackToTheServerWhenItReturns) {
    if (system("command -v jackd >/dev/null 2>&1") != 0) GTEST_SKIP() << "jackd is not installed";
    auto server = std::make_unique<DummyJackServer>("reconnect");
    ASSERT_TRUE(server->up()) << "the dummy JACK server did not come up";
    TestFiles files;
    files.add("tone.mp3", sineFile(44100, 2, 30.0, 1000.0, 0.5));
    setenv("KELVRA_AUDIO", "jack", 1);
    audio::engine::Engine engine(files.openers());
    audio::OutputSetup setup;
    setup.backend = audio::OutputBackend::Jack;
    ASSERT_TRUE(engine.configureOutput(setup));
    const bool initialised = engine.init(-1, 44100, 0);
    setenv("KELVRA_AUDIO", "null", 1);
    ASSERT_TRUE(initialised) << "error " << engine.errorCode();
    const audio::Handle h = engine.streamCreateFile("tone.mp3", 0);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(500ms);
    // What Kelvra itself missed: late callbacks and frames not decoded in time. A server just
    // started may report an xrun of its own at the client's first cycle; that is not counted
    // here.
    const auto dropouts = [&engine] {
        const audio::DropoutCounts d = engine.dropouts();
        return d.lateCallbacks + d.starvedFrames;
    };
    const auto waitForNotice = [&engine](const char* words) {
        std::string notice;
        for (int i = 0; i < 300 && notice.find(words) == std::string::npos; ++i) {
            std::this_thread::sleep_for(20ms);
            engine.service();
            notice = engine.takeOutputNotice();
        }
        return notice;
    };

    server->stop();
    EXPECT_NE(waitForNotice("stopped").find("The sound server stopped"), std::string::npos);
    const std::uint64_t before = dropouts();
    server.reset();  // its end forgets the server's name, which the new one gives again
    server = std::make_unique<DummyJackServer>("reconnect");
    ASSERT_TRUE(server->up());
    EXPECT_NE(waitForNotice("is back").find("The sound server is back"), std::string::npos);
    EXPECT_EQ(engine.outputStatus().backend, "JACK");

    Recorder listener("listener");
    ASSERT_TRUE(listener.ok());
    ASSERT_TRUE(listener.listenTo("kelvra:master_1")) << "the ports are not back under their name";
    std::this_thread::sleep_for(800ms);
    EXPECT_NEAR(frequencyOf(listener.heard()), 1000.0, 3.0) << "the song is not heard again";
    EXPECT_EQ(dropouts(), before) << "the move between outputs was counted as dropouts";

    // A device or rate chosen for another sound system leaves the client alone; a new headphone
    // route opens it again under its own name, not as a second client beside it.
    audio::OutputSetup other = setup;
    other.device = 3;
    other.rate = 96000;
    EXPECT_TRUE(engine.configureOutput(other));
    other.phones = audio::PhonesRoute::Channels34;
    EXPECT_TRUE(engine.configureOutput(other));
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(jack_port_by_name(listener.client(), "kelvra:master_1"), nullptr);
    EXPECT_EQ(jack_port_by_name(listener.client(), "kelvra-01:master_1"), nullptr)
        << "a second client took the ports";
    EXPECT_EQ(engine.outputStatus().rate, kServerRate);
    engine.release();
}

// A client of ours just closed may still hold its name on the server for a moment (a busy
// server, or the old client of a reopened output): the new one waits for the name instead of
// becoming "kelvra-01", whose ports connections made by name would miss.
TEST(JackOutput, TheClientWaitsForItsNameRatherThanTakeAnother) {
    if (system("command -v jackd >/dev/null 2>&1") != 0) GTEST_SKIP() << "jackd is not installed";
    DummyJackServer server("leaving");
    ASSERT_TRUE(server.up()) << "the dummy JACK server did not come up";
    jack_client_t* leaving =
        jack_client_open("kelvra", JackOptions(JackNoStartServer | JackUseExactName), nullptr);
    ASSERT_NE(leaving, nullptr);
    std::thread gone([leaving] {
        std::this_thread::sleep_for(150ms);
        jack_client_close(leaving);
    });
    setenv("KELVRA_AUDIO", "jack", 1);
    audio::engine::Engine engine;
    audio::OutputSetup setup;
    setup.backend = audio::OutputBackend::Jack;
    ASSERT_TRUE(engine.configureOutput(setup));
    const bool opened = engine.init(-1, 44100, 0);
    setenv("KELVRA_AUDIO", "null", 1);
    gone.join();
    ASSERT_TRUE(opened) << engine.errorCode();
    EXPECT_EQ(engine.outputStatus().backend, "JACK") << engine.takeOutputNotice();
    Recorder listener("listener");
    ASSERT_TRUE(listener.ok());
    EXPECT_NE(jack_port_by_name(listener.client(), "kelvra:master_1"), nullptr);
    EXPECT_EQ(jack_port_by_name(listener.client(), "kelvra-01:master_1"), nullptr);
    engine.release();
}

// KELVRA_AUDIO=jack with no server running: the default output instead, or on a machine without
// one either the null output, with a word for the DJ; the start never fails and nothing hangs.
TEST(JackOutput, WithoutAServerTheDefaultOutputPlaysAndTheDjIsTold) {
    setenv("JACK_DEFAULT_SERVER", "kelvra-test-no-such-server", 1);
    setenv("KELVRA_AUDIO", "jack", 1);
    audio::engine::Engine engine;
    const auto started = std::chrono::steady_clock::now();
    const bool opened = engine.init(-1, 44100, 0);
    setenv("KELVRA_AUDIO", "null", 1);
    unsetenv("JACK_DEFAULT_SERVER");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    ASSERT_TRUE(opened) << engine.errorCode();
    EXPECT_NE(engine.takeOutputNotice().find("No JACK server is running"), std::string::npos);
    engine.release();
}

}  // namespace
}  // namespace kelvra::test
