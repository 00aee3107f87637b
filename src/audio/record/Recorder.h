// A recording of the mix: the ring the mix pushes each period into and the writer thread that
// empties it into a FLAC file, with its progress readable at any time.
// Threads: start(), stop(), status(), running() and waitForRoom() from the controlling thread;
// ring().push() from the one thread making the mix, only between start() and stop().
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/record/FlacFile.h"
#include "audio/record/FrameRing.h"

namespace kelvra::audio::record {

class Recorder {
  public:
    // 2 MB: twelve seconds at 44.1 kHz, nearly three at 192 kHz, for the writer to be late by
    // (a disk that stalls, a busy machine) before frames are lost.
    static constexpr std::size_t kRingFrames = std::size_t(1) << 19;

    Recorder();
    ~Recorder();  // stops a recording still running
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    FrameRing& ring() { return ring_; }

    // Opens `path` and starts the writer. False when the file cannot be made (status() says
    // why) or a recording runs already.
    bool start(const QString& path, int rate);
    // Once nothing pushes any more: writes what the ring still holds, completes the file and
    // ends the writer. The final status; with a `reason`, the recording counts as failed for it.
    RecordingStatus stop(const QString& reason = {});
    RecordingStatus status() const;
    bool running() const { return writer_.joinable(); }
    // For a mix made faster than real time: waits until the ring has room for `frames`.
    void waitForRoom(std::size_t frames) const;

  private:
    void run(std::stop_token stop);
    void fail(const QString& message);

    FrameRing ring_;
    FlacFile file_;  // the writer's while it runs
    int rate_ = 0;
    std::vector<std::int16_t> chunk_;
    // The message is set before the flag and stays until the next start: who sees the flag
    // may read it.
    std::atomic<bool> failed_{false};
    std::string message_;
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> keptFrames_{0};  // once failed: the frames the file holds
    std::mutex wakeMutex_;
    std::condition_variable_any wake_;
    std::jthread writer_;
};

}  // namespace kelvra::audio::record
