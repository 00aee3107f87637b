// A stateful stand-in for the audio library: songs are declared up front (path, side, length,
// rate), streams keep position, activity and attributes, and every attribute change is recorded.
// Time does not pass by itself; tests move positions with advance().
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioLibrary.h"

namespace kelvra::test {

class FakeAudioLibrary : public audio::AudioLibrary {
  public:
    struct Song {
        bool addon = false;  // opened by the add-on side (WMA/ASF) rather than the main side
        audio::BytePosition length = 0;
        int rate = 44100;
        int channels = 2;
        std::string tags;
    };
    struct Stream {
        std::string path;
        Song song;
        audio::BytePosition position = 0;
        int activity = audio::kStopped;
        audio::Attributes attributes;
        std::uint32_t level = 0;
        float gainDb = 0;
        audio::ChannelEffects effects;
        audio::BytePosition loopStart = 0, loopEnd = 0;  // the loop asked for; empty: none
        bool keyLock = false;
        int keyBase = 0, keyShift = 0;
        bool freed = false;
    };
    struct AttributeCall {
        audio::Handle handle;
        int rate, volume, pan;
    };

    void addSong(const std::string& path, Song song) { songs_[path] = std::move(song); }
    // A song the main side opens (MP3, WAV, ...) or the add-on side opens (WMA, ASF).
    static Song mainSong(audio::BytePosition length, int rate = 44100, int channels = 2) {
        Song song;
        song.length = length;
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
    // Moves a playing stream's position on by `bytes` (to its end at most; the end stops it).
    void advance(audio::Handle handle, audio::BytePosition bytes);

    int failingError = audio::kErrorFormat;  // the code a failed open leaves
    bool failStarts = false;
    bool initResult = true;
    std::vector<AttributeCall> attributeCalls;
    std::vector<std::string> opened;  // "addon:path" / "main:path" for every open attempt

    bool init(int, std::uint32_t, std::uint32_t) override { return initResult; }
    bool start() override { return true; }
    bool stop() override { return true; }
    void release() override {}
    void setBufferLength(float) override {}
    int errorCode() const override { return error_; }
    std::uint32_t version() const override { return audio::kContractVersion; }
    std::optional<std::string> deviceDescription(int device) override;
    std::vector<std::string> devices;

    audio::Handle streamCreateFile(const std::string& path, std::uint32_t flags) override {
        return open(path, false, flags);
    }
    audio::Handle wmaStreamCreateFile(const std::string& path, std::uint32_t flags) override {
        return open(path, true, flags);
    }
    bool streamPreBuf(audio::Handle handle) override { return stream(handle) != nullptr; }
    bool streamPlay(audio::Handle handle, bool, std::uint32_t) override { return play(handle); }
    bool wmaStreamPlay(audio::Handle handle) override { return play(handle); }
    bool channelResume(audio::Handle handle) override;
    bool channelPause(audio::Handle handle) override;
    bool channelStop(audio::Handle handle) override;
    bool streamFree(audio::Handle handle) override;
    bool wmaStreamFree(audio::Handle handle) override { return streamFree(handle); }
    audio::BytePosition streamLength(audio::Handle handle) override;
    audio::BytePosition wmaStreamLength(audio::Handle handle) override {
        return streamLength(handle);
    }
    audio::BytePosition channelPosition(audio::Handle handle) override;
    audio::BytePosition wmaChannelPosition(audio::Handle handle) override {
        return channelPosition(handle);
    }
    bool channelSetPosition(audio::Handle handle, audio::BytePosition position) override;
    bool wmaChannelSetPosition(audio::Handle handle, audio::BytePosition position) override {
        return channelSetPosition(handle, position);
    }
    float channelBytes2Seconds(audio::Handle handle, audio::BytePosition bytes) override;
    int channelIsActive(audio::Handle handle) override;
    std::optional<audio::Attributes> channelAttributes(audio::Handle handle) override;
    bool channelSetAttributes(audio::Handle handle, int rate, int volume, int pan) override;
    bool channelSetGain(audio::Handle handle, float decibels) override;
    bool channelSetEffects(audio::Handle handle, const audio::ChannelEffects& effects) override;
    bool channelSetLoop(audio::Handle handle, audio::BytePosition start,
                        audio::BytePosition end) override;
    bool channelSetKeyLock(audio::Handle handle, bool on, int baseRate, int semitones) override;
    std::uint32_t channelLevel(audio::Handle handle) override;
    audio::DropoutCounts dropouts() const override { return dropoutCounts; }
    audio::DropoutCounts dropoutCounts;  // what the fake output reports
    std::string takeOutputNotice() override { return std::exchange(outputNotice, {}); }
    std::string outputNotice;  // what the fake output has to say, once
    std::string_view streamTags(audio::Handle handle) override;
    std::string_view wmaStreamTags(audio::Handle handle) override;

    // Recording: the paths asked for, and a status the test moves on by hand (or fails).
    bool recordStart(const std::string& path) override {
        recordStarts.push_back(path);
        if (!recordRefusal.empty()) {
            recording = {false, true, recordRefusal};
            return false;
        }
        recording = {true, false, {}, 44100};
        return true;
    }
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
    audio::Handle open(const std::string& path, bool addon, std::uint32_t flags);
    bool play(audio::Handle handle);
    bool fail(int code) {
        error_ = code;
        return false;
    }

    std::map<std::string, Song> songs_;
    std::map<audio::Handle, Stream> streams_;
    audio::Handle next_ = 1;
    int error_ = 0;
};

}  // namespace kelvra::test
