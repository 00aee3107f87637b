// A stateful stand-in for the engine's door: songs are declared up front (path, side, length,
// rate), streams keep place, state, rate, levels and effects, and the library contract comes
// over the door as it does over the engine. Time does not pass by itself; tests move places
// with advance().
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "audio/LibraryOverDoor.h"
#include "audio/fx/Rack.h"

namespace kelvra::test {

class FakeEngine : public audio::EngineDoor, public audio::LibraryOverDoor {
  public:
    FakeEngine() : LibraryOverDoor(static_cast<audio::EngineDoor&>(*this)) {}

    struct Song {
        bool addon = false;  // opened by the add-on side (WMA/ASF) rather than the main side
        audio::Frames length;
        int rate = 44100;
        int channels = 2;
        std::string tags;
    };
    struct Stream {
        std::string path;
        Song song;
        audio::Frames position;
        audio::StreamState state = audio::StreamState::Stopped;
        audio::Hz rate;
        audio::Levels levels;
        audio::Peaks peaks;
        float gainDb = 0;
        audio::ChannelEffects effects;
        audio::FrameSpan loop;  // the loop asked for; empty: none
        audio::KeyLock keyLock;
        bool freed = false;
        // The contract's bytes of a place, for tests written in them.
        audio::BytePosition bytes(audio::Frames frames) const {
            return audio::bytesOf(frames, {song.channels});
        }
        audio::BytePosition bytes() const { return bytes(position); }
        void setBytes(audio::BytePosition at) { position = audio::framesIn(at, {song.channels}); }
    };

    void addSong(const std::string& path, Song song) { songs_[path] = std::move(song); }
    // A song the main side opens (MP3, WAV, ...) or the add-on side opens (WMA, ASF), `length`
    // in the contract's bytes.
    static Song mainSong(audio::BytePosition length, int rate = 44100, int channels = 2) {
        Song song;
        song.length = audio::framesIn(length, {channels});
        song.rate = rate;
        song.channels = channels;
        return song;
    }
    static Song addonSong(audio::BytePosition length, int rate = 44100, int channels = 2) {
        Song song = mainSong(length, rate, channels);
        song.addon = true;
        return song;
    }
    Stream* stream(audio::Handle handle);
    // Moves a playing stream on by `bytes` of the contract (to its end at most; the end stops
    // it).
    void advance(audio::Handle handle, audio::BytePosition bytes);

    int failingError = audio::kErrorFormat;  // the code a failed open leaves
    bool failStarts = false;
    bool initResult = true;
    int rateChanges = 0;
    std::vector<std::string> opened;  // "addon:path" / "main:path" for every open attempt
    std::vector<std::string> devices;
    audio::DropoutCounts dropoutCounts;  // what the fake output reports
    std::string outputNotice;            // what the fake output has to say, once

    // The door. Each call on a stream that is not there fails with kErrorHandle.
    audio::StreamId open(const std::string& path, audio::OpenSide side,
                         audio::OpenPurpose purpose) override;
    bool free(audio::StreamId id) override {
        return with(id, [](Stream& s) { s.freed = true; });
    }
    bool prepare(audio::StreamId id) override {
        return with(id, [](Stream&) {});
    }
    bool play(audio::StreamId id) override;
    bool resume(audio::StreamId id) override { return move(id, audio::StreamState::Paused); }
    bool pause(audio::StreamId id) override { return move(id, audio::StreamState::Playing); }
    bool stop(audio::StreamId id) override {
        return with(id, [](Stream& s) { s.state = audio::StreamState::Stopped; });
    }
    audio::StreamState state(audio::StreamId id) override {
        return read(id, audio::StreamState::Stopped, [](Stream& s) { return s.state; });
    }
    std::optional<audio::StreamFormat> format(audio::StreamId id) override {
        return read(id, std::optional<audio::StreamFormat>(), [](Stream& s) {
            return std::optional(audio::StreamFormat{audio::Hz(s.song.rate), s.song.channels});
        });
    }
    audio::Frames length(audio::StreamId id) override {
        return read(id, audio::Frames(0), [](Stream& s) { return s.song.length; });
    }
    audio::Frames position(audio::StreamId id) override {
        return read(id, audio::Frames(0), [](Stream& s) { return s.position; });
    }
    bool seek(audio::StreamId id, audio::Frames frame) override;
    bool keepWarm(audio::StreamId id, int, audio::Frames) override {
        return with(id, [](Stream&) {});
    }
    bool setLoop(audio::StreamId id, audio::FrameSpan span) override {
        return with(id, [span](Stream& s) { s.loop = span.empty() ? audio::FrameSpan{} : span; });
    }
    std::optional<audio::Hz> rate(audio::StreamId id) override {
        return read(id, std::optional<audio::Hz>(),
                    [](Stream& s) { return std::optional(s.rate); });
    }
    bool setRate(audio::StreamId id, audio::Hz rate) override;
    bool setKeyLock(audio::StreamId id, audio::KeyLock lock) override {
        return with(id, [lock](Stream& s) { s.keyLock = lock; });
    }
    std::optional<audio::Levels> levels(audio::StreamId id) override {
        return read(id, std::optional<audio::Levels>(),
                    [](Stream& s) { return std::optional(s.levels); });
    }
    bool setVolume(audio::StreamId id, int volume) override;
    bool setPan(audio::StreamId id, int pan) override;
    bool setGain(audio::StreamId id, float decibels) override {
        return with(id, [decibels](Stream& s) { s.gainDb = decibels; });
    }
    bool setCue(audio::StreamId id, int) override {
        return with(id, [](Stream&) {});
    }
    audio::Peaks peaks(audio::StreamId id) override {
        return read(id, audio::Peaks{}, [](Stream& s) {
            return s.state == audio::StreamState::Playing ? s.peaks : audio::Peaks{};
        });
    }
    bool setRouting(const audio::OutputRouting& to) override {
        routing = to;
        return true;
    }
    audio::OutputRouting routing;
    bool setEffects(audio::StreamId id, const audio::ChannelEffects& effects) override {
        return with(id, [effects](Stream& s) { s.effects = effects; });
    }
    audio::fx::Rack& effectUnits() override { return rack; }
    audio::fx::Rack rack;
    bool scratch(audio::StreamId id, bool) override {
        return with(id, [](Stream&) {});
    }
    bool scratchTurn(audio::StreamId id, double) override {
        return with(id, [](Stream&) {});
    }
    std::string_view tags(audio::StreamId id) override {
        return read(id, std::string_view(),
                    [](Stream& s) { return std::string_view(s.song.tags); });
    }

    // The rest of the contract.
    bool init(int, std::uint32_t, std::uint32_t) override { return initResult; }
    bool start() override { return true; }
    bool stop() override { return true; }
    void release() override {}
    void setBufferLength(float) override {}
    int errorCode() const override { return error_; }
    std::uint32_t version() const override { return audio::kContractVersion; }
    std::optional<std::string> deviceDescription(int device) override;
    audio::DropoutCounts dropouts() const override { return dropoutCounts; }
    std::string takeOutputNotice() override { return std::exchange(outputNotice, {}); }

    // Recording: the paths asked for, and a status the test moves on by hand (or fails).
    bool recordStart(const std::string& path) override;
    audio::RecordingStatus recordStop() override {
        recording.active = false;
        ++recordStops;
        return recording;
    }
    audio::RecordingStatus recordStatus() const override { return recording; }
    audio::RecordingStatus recording;
    std::vector<std::string> recordStarts;
    int recordStops = 0;
    std::string recordRefusal;  // set: recordStart() fails with this message

  private:
    Stream* find(audio::StreamId id);
    // Runs `change` on the stream; false without one.
    template <typename Change>
    bool with(audio::StreamId id, Change change) {
        Stream* s = find(id);
        if (!s) return false;
        change(*s);
        return ok();
    }
    template <typename Value, typename Get>
    Value read(audio::StreamId id, Value none, Get get) {
        Stream* s = find(id);
        if (!s) return none;
        ok();
        return get(*s);
    }
    // From state `from` to the other of playing and paused.
    bool move(audio::StreamId id, audio::StreamState from);
    bool fail(int code) {
        error_ = code;
        return false;
    }
    bool ok() {
        error_ = audio::kErrorOk;
        return true;
    }

    std::map<std::string, Song> songs_;
    std::map<audio::Handle, Stream> streams_;
    audio::Handle next_ = 1;
    int error_ = 0;
};

}  // namespace kelvra::test
