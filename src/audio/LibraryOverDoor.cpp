#include "audio/LibraryOverDoor.h"

namespace kelvra::audio {
namespace {

OpenPurpose purposeOf(std::uint32_t flags) {
    return (flags & kStreamTagsOnly) != 0 ? OpenPurpose::TagsOnly : OpenPurpose::Playback;
}

}  // namespace

Handle LibraryOverDoor::streamCreateFile(const std::string& path, std::uint32_t flags) {
    return door_.open(path, OpenSide::Main, purposeOf(flags)).value;
}

Handle LibraryOverDoor::wmaStreamCreateFile(const std::string& path, std::uint32_t flags) {
    return door_.open(path, OpenSide::Addon, purposeOf(flags)).value;
}

bool LibraryOverDoor::streamPreBuf(Handle handle) {
    return door_.prepare(StreamId(handle));
}

bool LibraryOverDoor::streamPlay(Handle handle, bool flush, std::uint32_t /*flags*/) {
    // Flushing throws away what was buffered, so playback starts over from the beginning.
    if (flush && !door_.seek(StreamId(handle), Frames(0))) return false;
    return door_.play(StreamId(handle));
}

bool LibraryOverDoor::channelResume(Handle handle) {
    return door_.resume(StreamId(handle));
}

bool LibraryOverDoor::channelPause(Handle handle) {
    return door_.pause(StreamId(handle));
}

bool LibraryOverDoor::channelStop(Handle handle) {
    return door_.stop(StreamId(handle));
}

bool LibraryOverDoor::streamFree(Handle handle) {
    return door_.free(StreamId(handle));
}

// The format is asked first in the calls below, so the error the caller sees afterwards is that
// of the call itself.

BytePosition LibraryOverDoor::streamLength(Handle handle) {
    const auto format = door_.format(StreamId(handle));
    if (!format) return 0;
    return bytesOf(door_.length(StreamId(handle)), format->layout());
}

BytePosition LibraryOverDoor::channelPosition(Handle handle) {
    const auto format = door_.format(StreamId(handle));
    if (!format) return 0;
    return bytesOf(door_.position(StreamId(handle)), format->layout());
}

bool LibraryOverDoor::channelSetPosition(Handle handle, BytePosition position) {
    const auto format = door_.format(StreamId(handle));
    if (!format) return false;
    return door_.seek(StreamId(handle), framesIn(position, format->layout()));
}

float LibraryOverDoor::channelBytes2Seconds(Handle handle, BytePosition bytes) {
    const auto format = door_.format(StreamId(handle));
    if (!format) return 0.0f;
    return float(secondsOf(framesIn(bytes, format->layout()), format->rate));
}

int LibraryOverDoor::channelIsActive(Handle handle) {
    switch (door_.state(StreamId(handle))) {
        case StreamState::Playing:
            return kPlaying;
        case StreamState::Paused:
            return kPaused;
        case StreamState::Stopped:
            break;
    }
    return kStopped;
}

std::optional<Attributes> LibraryOverDoor::channelAttributes(Handle handle) {
    const auto rate = door_.rate(StreamId(handle));
    const auto levels = door_.levels(StreamId(handle));
    if (!rate || !levels) return std::nullopt;
    return Attributes{rate->value, levels->volume, levels->pan};
}

bool LibraryOverDoor::channelSetAttributes(Handle handle, int rate, int volume, int pan) {
    const StreamId stream(handle);
    // All three are checked before any is set: a value out of range changes nothing. The door's
    // own setter refuses it, and so leaves the reason in the error code.
    const bool rateOk =
        rate == kKeepRate || (rate >= kMinPlayRate.value && rate <= kMaxPlayRate.value);
    const bool volumeOk = volume == kKeepVolume || (volume >= 0 && volume <= 100);
    const bool panOk = pan == kKeepPan || (pan >= -100 && pan <= 100);
    if (!rateOk) return door_.setRate(stream, Hz(rate));
    if (!volumeOk) return door_.setVolume(stream, volume);
    if (!panOk) return door_.setPan(stream, pan);
    if (rate == kKeepRate && volume == kKeepVolume && pan == kKeepPan)
        return door_.levels(stream).has_value();
    bool done = true;
    if (rate != kKeepRate) done = door_.setRate(stream, Hz(rate)) && done;
    if (volume != kKeepVolume) done = door_.setVolume(stream, volume) && done;
    if (pan != kKeepPan) done = door_.setPan(stream, pan) && done;
    return done;
}

std::uint32_t LibraryOverDoor::channelLevel(Handle handle) {
    const Peaks peaks = door_.peaks(StreamId(handle));
    return peaks.left | (peaks.right << 16);
}

bool LibraryOverDoor::channelSetCue(Handle handle, int level) {
    return door_.setCue(StreamId(handle), level);
}

std::string_view LibraryOverDoor::streamTags(Handle handle) {
    return door_.tags(StreamId(handle));
}

}  // namespace kelvra::audio
