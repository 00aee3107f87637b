#include "support/FakeEngine.h"

#include <algorithm>

namespace kelvra::test {

using namespace audio;

FakeEngine::Stream* FakeEngine::stream(Handle handle) {
    const auto found = streams_.find(handle);
    return found == streams_.end() || found->second.freed ? nullptr : &found->second;
}

FakeEngine::Stream* FakeEngine::find(StreamId id) {
    Stream* s = stream(id.value);
    if (!s) fail(kErrorHandle);
    return s;
}

void FakeEngine::advance(Handle handle, BytePosition bytes) {
    Stream* s = stream(handle);
    if (!s || s->state != StreamState::Playing) return;
    s->position = std::min(s->song.length,
                           Frames(s->position.count + framesIn(bytes, {s->song.channels}).count));
    if (s->position == s->song.length) s->state = StreamState::Stopped;
}

std::optional<std::string> FakeEngine::deviceDescription(int device) {
    if (device < 1 || device > static_cast<int>(devices.size())) return std::nullopt;
    return devices[static_cast<std::size_t>(device - 1)];
}

bool FakeEngine::recordStart(const std::string& path) {
    recordStarts.push_back(path);
    if (!recordRefusal.empty()) {
        recording = {false, true, recordRefusal};
        return false;
    }
    recording = {true, false, {}, 44100};
    return true;
}

StreamId FakeEngine::open(const std::string& path, OpenSide side, OpenPurpose) {
    const bool addon = side == OpenSide::Addon;
    opened.push_back((addon ? "addon:" : "main:") + path);
    const auto song = songs_.find(path);
    if (song == songs_.end() || song->second.addon != addon) {
        error_ = failingError;
        return {};
    }
    const Handle handle = next_++;
    Stream& s = streams_[handle];
    s.path = path;
    s.song = song->second;
    s.rate = Hz(song->second.rate);
    ok();
    return StreamId(handle);
}

bool FakeEngine::play(StreamId id) {
    Stream* s = find(id);
    if (!s) return false;
    if (failStarts) return fail(kErrorStart);
    s->state = StreamState::Playing;
    return ok();
}

bool FakeEngine::move(StreamId id, StreamState from) {
    Stream* s = find(id);
    if (!s) return false;
    if (s->state != from)
        return fail(from == StreamState::Paused ? kErrorNotPaused : kErrorNotPlaying);
    s->state = from == StreamState::Paused ? StreamState::Playing : StreamState::Paused;
    return ok();
}

bool FakeEngine::seek(StreamId id, Frames frame) {
    Stream* s = find(id);
    if (!s) return false;
    if (frame > s->song.length) return fail(kErrorPosition);
    s->position = frame;
    return ok();
}

bool FakeEngine::setRate(StreamId id, Hz rate) {
    ++rateChanges;
    Stream* s = find(id);
    if (!s) return false;
    if (rate < kMinPlayRate || rate > kMaxPlayRate) return fail(kErrorIllegalParam);
    s->rate = rate;
    return ok();
}

bool FakeEngine::setVolume(StreamId id, int volume) {
    if (find(id) && (volume < 0 || volume > 100)) return fail(kErrorIllegalParam);
    return with(id, [volume](Stream& s) { s.levels.volume = volume; });
}

bool FakeEngine::setPan(StreamId id, int pan) {
    if (find(id) && (pan < -100 || pan > 100)) return fail(kErrorIllegalParam);
    return with(id, [pan](Stream& s) { s.levels.pan = pan; });
}

}  // namespace kelvra::test
