// What the engine's own files share: the stream record behind every id, and the limits and
// deadlines more than one of them keeps to. Private to the engine. Thread: controlling thread.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "audio/engine/Engine.h"

namespace kelvra::audio::engine {

// How long a command may wait for room in the mixer's queue. A consumer that has not taken a
// command for this long has stopped (a device that no longer calls back): the call fails rather
// than hang the window. A recording's stop waits as long for the output's last period.
inline constexpr auto kSendDeadline = std::chrono::milliseconds(500);

struct Engine::Stream {
    using State = StreamState;

    int kind = 2;
    std::string tags;
    PcmFormat format;
    std::int64_t length = 0;
    // The worker outlives the voice that reads from it (members die in reverse order).
    std::unique_ptr<DecodeWorker> worker;  // null for a tags-only stream
    // Scratching: the file again, for a decoder of its own, and two windows of the song around
    // the wheel's touch, so a new one is made while the voice may still read the last one. They
    // outlive the voice, and the thread that makes them dies first.
    std::string path;
    Opener opener;
    std::array<std::unique_ptr<ScratchWindow>, 2> windows;
    std::unique_ptr<Voice> voice;
    std::jthread windowMaker;
    bool scratching = false;
    State state = State::Stopped;
    std::uint32_t generation = 0;  // of the last seek sent
    std::int64_t seekFrame = 0;
    std::uint32_t serial = 0;  // of the last play or seek sent; the voice reports its end by it
    LoopSpan loop;             // the loop the stream plays in now
    // A loop change on its way: until the voice takes it, its position still counts in the
    // generation before it.
    std::uint32_t splicedFrom = 0;
    bool splicing = false;
    std::int64_t spliceAt = 0;  // the frame it takes over at

    PcmLayout layout() const { return {format.channels}; }
};

}  // namespace kelvra::audio::engine
