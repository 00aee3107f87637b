// A small JACK MIDI client standing in for a controller: an output port "out" that plays the
// bytes it is given (one message per frame from the start of the next period) and an input port
// "in" that records what reaches it, with when. Its ports can be unregistered and registered
// again, which is how a USB controller looks to JACK when it is unplugged and plugged back in.
// Thread: the test's for every member; the process callback is JACK's.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "controllers/MidiMessage.h"

namespace kelvra::test {

class JackMidiClient {
  public:
    // What reached "in": the message and the microsecond clock of JACK at the period it came in.
    struct Heard {
        controllers::MidiMessage message;
        jack_time_t at;
    };

    explicit JackMidiClient(const char* name = "test-controller") {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        outgoing_ = jack_ringbuffer_create(1 << 16);
        jack_set_process_callback(client_, &JackMidiClient::process, this);
        jack_on_shutdown(
            client_, [](void* self) { static_cast<JackMidiClient*>(self)->gone_ = true; }, this);
        jack_activate(client_);
    }
    ~JackMidiClient() {
        if (client_ && !gone_) jack_client_close(client_);
        if (outgoing_) jack_ringbuffer_free(outgoing_);
    }
    JackMidiClient(const JackMidiClient&) = delete;
    JackMidiClient& operator=(const JackMidiClient&) = delete;

    bool ok() const { return client_ && outgoing_; }
    jack_client_t* client() const { return client_; }
    std::string name() const { return jack_get_client_name(client_); }

    bool plugIn() {
        jack_port_t* out =
            jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_port_t* in =
            jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_.store(out);
        in_.store(in);
        return out && in;
    }
    void unplug() {
        using namespace std::chrono_literals;
        jack_port_t* out = out_.exchange(nullptr);
        jack_port_t* in = in_.exchange(nullptr);
        // A few periods, so the process callback is done with the ports before they go.
        std::this_thread::sleep_for(50ms);
        if (out) jack_port_unregister(client_, out);
        if (in) jack_port_unregister(client_, in);
    }
    jack_port_t* outPort() const { return out_.load(); }

    // Played from the next period on, at most kPerPeriod a period, one frame apart.
    bool play(const std::vector<std::vector<unsigned char>>& messages) {
        for (const auto& bytes : messages) {
            const auto size = static_cast<unsigned char>(bytes.size());
            if (jack_ringbuffer_write_space(outgoing_) < bytes.size() + 1u) return false;
            jack_ringbuffer_write(outgoing_, reinterpret_cast<const char*>(&size), 1);
            jack_ringbuffer_write(outgoing_, reinterpret_cast<const char*>(bytes.data()),
                                  bytes.size());
        }
        return true;
    }
    bool idle() const { return jack_ringbuffer_read_space(outgoing_) == 0; }
    // JACK's microsecond clock when the process callback last played something.
    jack_time_t lastPlayedAt() const { return lastPlayed_.load(); }

    std::vector<Heard> heard() const {
        return {heard_.begin(), heard_.begin() + std::ptrdiff_t(heardCount_.load())};
    }

  private:
    static constexpr jack_nframes_t kPerPeriod = 32;

    static int process(jack_nframes_t frames, void* self) {
        auto& c = *static_cast<JackMidiClient*>(self);
        if (jack_port_t* out = c.out_.load()) {
            void* buffer = jack_port_get_buffer(out, frames);
            jack_midi_clear_buffer(buffer);
            unsigned char bytes[256];
            for (jack_nframes_t at = 0; at < frames && at < kPerPeriod; ++at) {
                unsigned char size = 0;
                if (jack_ringbuffer_peek(c.outgoing_, reinterpret_cast<char*>(&size), 1) < 1) break;
                if (jack_ringbuffer_read_space(c.outgoing_) < size + 1u) break;
                jack_ringbuffer_read_advance(c.outgoing_, 1);
                jack_ringbuffer_read(c.outgoing_, reinterpret_cast<char*>(bytes), size);
                jack_midi_event_write(buffer, at, bytes, size);
                c.lastPlayed_.store(jack_get_time());
            }
        }
        if (jack_port_t* in = c.in_.load()) {
            void* buffer = jack_port_get_buffer(in, frames);
            const jack_time_t now = jack_get_time();
            const std::uint32_t count = jack_midi_get_event_count(buffer);
            for (std::uint32_t i = 0; i < count; ++i) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
                const std::size_t at = c.heardCount_.load();
                if (at == c.heard_.size()) break;
                controllers::MidiMessage message{
                    event.buffer[0], event.size > 1 ? event.buffer[1] : std::uint8_t(0),
                    event.size > 2 ? event.buffer[2] : std::uint8_t(0)};
                c.heard_[at] = {message, now};
                c.heardCount_.store(at + 1);
            }
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_ringbuffer_t* outgoing_ = nullptr;
    std::atomic<jack_port_t*> out_{nullptr}, in_{nullptr};
    std::atomic<jack_time_t> lastPlayed_{0};
    std::array<Heard, 4096> heard_{};
    std::atomic<std::size_t> heardCount_{0};
    std::atomic<bool> gone_{false};
};

}  // namespace kelvra::test
