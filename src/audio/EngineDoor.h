// The one door through which the deck units reach the engine's streams: every operation once,
// in frames, seconds and Hz, on typed stream ids. The older byte-position contract
// (AudioLibrary.h) sits on top of it for the procedures written in its terms; nothing else
// reaches the streams another way.
//
// Threads: every call belongs to the one controlling thread (the UI thread in the program, the
// main thread of the command-line tool and of a headless session). None of them waits on the
// audio thread beyond handing it a command; a failure returns false (or none) and leaves the
// reason in the engine's error code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "audio/Units.h"

namespace kelvra::audio {

namespace fx {
class Rack;
}

// A stream the engine holds. Its value is the contract's handle, so a deck keeps one number for
// both; StreamId{} is no stream.
struct StreamId {
    Handle value = 0;
    constexpr StreamId() = default;
    constexpr explicit StreamId(Handle handle) : value(handle) {}
    constexpr explicit operator bool() const { return value != 0; }
    constexpr bool operator==(const StreamId&) const = default;
};

// Which of the engine's two openers reads a file: the add-on side takes ASF content only, the
// main side everything else; decided by content, never by name.
enum class OpenSide { Addon, Main };
// A playback stream, or one opened only to read its tags (cheap; no audio behind it).
enum class OpenPurpose { Playback, TagsOnly };

enum class StreamState { Stopped, Playing, Paused };

// A stream's native format: its own rate and channels (mono or stereo).
struct StreamFormat {
    Hz rate;
    int channels = 2;
    constexpr PcmLayout layout() const { return {channels}; }
};

// A stream's share of the buses: volume 0..100 (linear), pan -100..100.
struct Levels {
    int volume = 100;
    int pan = 0;
    bool operator==(const Levels&) const = default;
};

// The frames [start, end) of a stream; an empty span is none.
struct FrameSpan {
    Frames start, end;
    constexpr bool empty() const { return end <= start; }
};

// Key lock: with `on`, a rate change moves the tempo only and the pitch stays that of `base`
// (Hz{0}: the song's own rate); `semitones` (-12..12) shifts the key with the lock or without.
struct KeyLock {
    bool on = false;
    Hz base;
    int semitones = 0;
};

// Peak of the last ~20 ms per channel, 0..kLevelFullScale.
struct Peaks {
    std::uint32_t left = 0, right = 0;
};

// A deck's tone controls: the three EQ bands as linear gains (0 = kill, at most 2 = +6 dB), the
// filter from -1 (low-pass closed) through 0 (off) to 1 (high-pass closed), and the trim in dB
// (-12..+12), applied with the gain correction.
struct ChannelEffects {
    float low = 1, mid = 1, high = 1;
    float filter = 0;
    float trimDb = 0;
    // The deck whose effect units the stream's send to the main mix goes through (0 left,
    // 1 right), or -1 for none.
    int effectBus = -1;
    bool operator==(const ChannelEffects&) const = default;
};

// How the main output's two channels are used. With `cueOnLeft` one stereo output is shared
// with the headphones: its right channel carries the main mix and its left only the cued streams
// (setCue()) at `cueLevel` (0..100); without it the main mix is heard in stereo.
struct OutputRouting {
    bool cueOnLeft = false;
    int cueLevel = 100;
    bool operator==(const OutputRouting&) const = default;
};

// What the engine accepts; a value outside fails the call and changes nothing.
inline constexpr Hz kMinPlayRate{100}, kMaxPlayRate{100000};

// The number of places a stream keeps decoded ahead for jumps (keepWarm()).
inline constexpr int kWarmSlots = 8;

class EngineDoor {
  public:
    virtual ~EngineDoor() = default;

    // ---- lifetime
    // Paths are UTF-8. Stream{} on failure.
    virtual StreamId open(const std::string& path, OpenSide side, OpenPurpose purpose) = 0;
    // Freeing none or a freed stream is harmless (and false).
    virtual bool free(StreamId stream) = 0;
    // Wakes the stream's decoding ahead of a start; never waits for it.
    virtual bool prepare(StreamId stream) = 0;

    // ---- transport
    // Plays from the current place, from a pause too.
    virtual bool play(StreamId stream) = 0;
    // Goes on after a pause; false for a stream that is not paused.
    virtual bool resume(StreamId stream) = 0;
    // Holds a playing stream where it is; false for one that is not playing.
    virtual bool pause(StreamId stream) = 0;
    virtual bool stop(StreamId stream) = 0;
    // A stream that played to its end is Stopped.
    virtual StreamState state(StreamId stream) = 0;

    // ---- places
    virtual std::optional<StreamFormat> format(StreamId stream) = 0;
    virtual Frames length(StreamId stream) = 0;
    // Where the stream is heard now (or where the last seek goes, until it is taken).
    virtual Frames position(StreamId stream) = 0;
    // Playback goes on exactly at `frame`, cross-faded from the old place; past the end fails.
    virtual bool seek(StreamId stream, Frames frame) = 0;
    // Keeps the audio at `frame` decoded ahead in place `slot` (0..kWarmSlots-1), so a later
    // seek there plays at once; a frame past the end keeps nothing there.
    virtual bool keepWarm(StreamId stream, int slot, Frames frame) = 0;
    // Loops [start, end) without a gap, exactly its length each pass; an empty span ends the
    // loop. A change while playing takes over a few tens of milliseconds ahead, seamlessly.
    virtual bool setLoop(StreamId stream, FrameSpan span) = 0;

    // ---- speed and key
    // The rate the stream plays at (its native rate until set), kMinPlayRate..kMaxPlayRate.
    virtual std::optional<Hz> rate(StreamId stream) = 0;
    virtual bool setRate(StreamId stream, Hz rate) = 0;
    virtual bool setKeyLock(StreamId stream, KeyLock lock) = 0;

    // ---- levels
    virtual std::optional<Levels> levels(StreamId stream) = 0;
    virtual bool setVolume(StreamId stream, int volume) = 0;
    virtual bool setPan(StreamId stream, int pan) = 0;
    // A correction of the stream's own level, before its volume and pan and seen by its meter
    // (loudness matching): -60..+24 dB, 0 for none, ramped like the volume.
    virtual bool setGain(StreamId stream, float decibels) = 0;
    // The stream's level in the headphones, 0..100, before its volume and pan.
    virtual bool setCue(StreamId stream, int level) = 0;
    // The stream's own signal (with its gain correction) before its volume and pan; zero when it
    // is not playing.
    virtual Peaks peaks(StreamId stream) = 0;

    // ---- output
    // Glided like every gain, in a few milliseconds, so a change of routing never clicks. A
    // recording of the main mix with the cue on the left takes the right channel for both.
    virtual bool setRouting(const OutputRouting& routing) = 0;

    // ---- tone and effects
    // The tone controls, applied before the meter and both buses, every change glided. Effects
    // beyond the tone strip belong here too, one call each, prepared off the audio thread and
    // handed over whole.
    virtual bool setEffects(StreamId stream, const ChannelEffects& effects) = 0;
    // The four effect units on the decks, the main mix and the headphones (audio/fx/Rack.h).
    virtual fx::Rack& effectUnits() = 0;

    // ---- scratch
    // With `held` the jog wheel is touched and the needle follows it from where the stream is (a
    // playing stream is held still until the wheel moves); let go, it plays on from where the
    // wheel left it if it was playing, or rests there.
    virtual bool scratch(StreamId stream, bool held) = 0;
    // How far the held wheel has turned since the touch, in seconds of the song (negative back).
    virtual bool scratchTurn(StreamId stream, double seconds) = 0;

    // ---- tags
    // The file's tag block, valid until the stream is freed; empty when there is none. Main
    // side: the raw 128-byte ID3v1 block. Add-on side: "name:value" texts in UTF-8, each ended
    // by a NUL, the list ended by an empty text.
    virtual std::string_view tags(StreamId stream) = 0;
};

// Seconds of `frames` at the stream's rate in single precision, as the contract's conversion
// has always given them: places computed from them land on the same frames as they always have.
inline double songSeconds(const StreamFormat& format, Frames frames) {
    return double(float(secondsOf(frames, format.rate)));
}

}  // namespace kelvra::audio
