#include "support/FakeAudioLibrary.h"

#include <algorithm>

namespace kelvra::test {

using audio::BytePosition;
using audio::Handle;

FakeAudioLibrary::Stream* FakeAudioLibrary::stream(Handle handle) {
    const auto found = streams_.find(handle);
    return found == streams_.end() || found->second.freed ? nullptr : &found->second;
}

void FakeAudioLibrary::advance(Handle handle, BytePosition bytes) {
    Stream* s = stream(handle);
    if (!s || s->activity != audio::kPlaying) return;
    s->position = std::min(s->song.length, s->position + bytes);
    if (s->position == s->song.length) s->activity = audio::kStopped;
}

std::optional<std::string> FakeAudioLibrary::deviceDescription(int device) {
    if (device < 1 || device > static_cast<int>(devices.size())) return std::nullopt;
    return devices[static_cast<std::size_t>(device - 1)];
}

Handle FakeAudioLibrary::open(const std::string& path, bool addon, std::uint32_t) {
    opened.push_back((addon ? "addon:" : "main:") + path);
    const auto song = songs_.find(path);
    if (song == songs_.end() || song->second.addon != addon) {
        error_ = failingError;
        return 0;
    }
    const Handle handle = next_++;
    Stream& s = streams_[handle];
    s.path = path;
    s.song = song->second;
    s.attributes = {song->second.rate, 100, 0};
    error_ = 0;
    return handle;
}

bool FakeAudioLibrary::play(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    if (failStarts) return fail(audio::kErrorStart);
    s->activity = audio::kPlaying;
    return true;
}

bool FakeAudioLibrary::channelResume(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    if (s->activity != audio::kPaused) return fail(audio::kErrorNotPaused);
    s->activity = audio::kPlaying;
    return true;
}

bool FakeAudioLibrary::channelPause(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    if (s->activity != audio::kPlaying) return fail(audio::kErrorNotPlaying);
    s->activity = audio::kPaused;
    return true;
}

bool FakeAudioLibrary::channelStop(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->activity = audio::kStopped;
    return true;
}

bool FakeAudioLibrary::streamFree(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->freed = true;
    return true;
}

BytePosition FakeAudioLibrary::streamLength(Handle handle) {
    Stream* s = stream(handle);
    return s ? s->song.length : 0;
}

BytePosition FakeAudioLibrary::channelPosition(Handle handle) {
    Stream* s = stream(handle);
    return s ? s->position : 0;
}

bool FakeAudioLibrary::channelSetPosition(Handle handle, BytePosition position) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    if (position > s->song.length) return fail(audio::kErrorPosition);
    s->position = position;
    return true;
}

float FakeAudioLibrary::channelBytes2Seconds(Handle handle, BytePosition bytes) {
    Stream* s = stream(handle);
    if (!s) return -1.0f;
    return static_cast<float>(static_cast<double>(bytes) / (2.0 * s->song.channels * s->song.rate));
}

int FakeAudioLibrary::channelIsActive(Handle handle) {
    Stream* s = stream(handle);
    return s ? s->activity : audio::kStopped;
}

std::optional<audio::Attributes> FakeAudioLibrary::channelAttributes(Handle handle) {
    Stream* s = stream(handle);
    if (!s) return std::nullopt;
    return s->attributes;
}

bool FakeAudioLibrary::channelSetAttributes(Handle handle, int rate, int volume, int pan) {
    attributeCalls.push_back({handle, rate, volume, pan});
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    if (rate != audio::kKeepRate) s->attributes.rate = rate;
    if (volume != audio::kKeepVolume) s->attributes.volume = volume;
    if (pan != audio::kKeepPan) s->attributes.pan = pan;
    return true;
}

bool FakeAudioLibrary::channelSetGain(Handle handle, float decibels) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->gainDb = decibels;
    return true;
}

bool FakeAudioLibrary::channelSetEffects(Handle handle, const audio::ChannelEffects& effects) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->effects = effects;
    return true;
}

bool FakeAudioLibrary::channelSetLoop(Handle handle, audio::BytePosition start,
                                      audio::BytePosition end) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->loopStart = end > start ? start : 0;
    s->loopEnd = end > start ? end : 0;
    return true;
}

bool FakeAudioLibrary::channelSetKeyLock(Handle handle, bool on, int baseRate, int semitones) {
    Stream* s = stream(handle);
    if (!s) return fail(audio::kErrorHandle);
    s->keyLock = on;
    s->keyBase = baseRate;
    s->keyShift = semitones;
    return true;
}

std::uint32_t FakeAudioLibrary::channelLevel(Handle handle) {
    Stream* s = stream(handle);
    return s && s->activity == audio::kPlaying ? s->level : 0;
}

std::string_view FakeAudioLibrary::streamTags(Handle handle) {
    Stream* s = stream(handle);
    return s && !s->song.addon ? std::string_view(s->song.tags) : std::string_view();
}

std::string_view FakeAudioLibrary::wmaStreamTags(Handle handle) {
    Stream* s = stream(handle);
    return s && s->song.addon ? std::string_view(s->song.tags) : std::string_view();
}

}  // namespace kelvra::test
