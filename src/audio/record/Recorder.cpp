#include "audio/record/Recorder.h"

#include <chrono>

namespace kelvra::audio::record {
namespace {

// How often the writer looks into the ring: often enough that it stays nearly empty, seldom
// enough to cost nothing.
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr std::size_t kChunkFrames = 8192;

}  // namespace

Recorder::Recorder() : ring_(kRingFrames), chunk_(kChunkFrames * FrameRing::kChannels) {}

Recorder::~Recorder() {
    stop();
}

bool Recorder::start(const QString& path, int rate) {
    if (running()) return false;
    ring_.reset();
    failed_.store(false);
    message_.clear();
    bytes_.store(0);
    keptFrames_.store(0);
    rate_ = rate;
    if (!file_.open(path, rate)) {
        fail(file_.message());
        return false;
    }
    bytes_.store(file_.bytes());
    writer_ = std::jthread([this](std::stop_token stop) { run(stop); });
    return true;
}

RecordingStatus Recorder::stop(const QString& reason) {
    if (running()) {
        writer_.request_stop();
        wake_.notify_all();
        writer_.join();
        if (!reason.isEmpty() && !failed_.load()) fail(reason);
    }
    return status();
}

RecordingStatus Recorder::status() const {
    RecordingStatus status;
    status.active = running();
    status.rate = rate_;
    status.failed = failed_.load(std::memory_order_acquire);
    if (status.failed) status.message = message_;
    status.frames = status.failed ? keptFrames_.load() : ring_.pushedFrames();
    status.bytes = bytes_.load(std::memory_order_relaxed);
    status.lostFrames = ring_.lostFrames();
    return status;
}

void Recorder::waitForRoom(std::size_t frames) const {
    // The writer empties the ring even after a failure, so this ends.
    while (running() && ring_.freeFrames() < frames)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Recorder::fail(const QString& message) {
    keptFrames_.store(file_.frames());
    message_ = message.toStdString();
    failed_.store(true, std::memory_order_release);
}

void Recorder::run(std::stop_token stop) {
    for (;;) {
        const std::size_t frames = ring_.pop(chunk_.data(), kChunkFrames);
        if (frames > 0) {
            // After a failure the mix still arrives until the tap is cleared: it goes nowhere.
            if (failed_.load(std::memory_order_relaxed)) continue;
            if (!file_.write(chunk_.data(), frames)) fail(file_.message());
            bytes_.store(file_.bytes(), std::memory_order_relaxed);
            continue;
        }
        // Stopped with the ring empty: nothing pushes any more, so nothing is left behind.
        if (stop.stop_requested()) break;
        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, stop, kPoll, [] { return false; });
    }
    if (!failed_.load(std::memory_order_relaxed) && !file_.finish()) fail(file_.message());
    bytes_.store(file_.bytes(), std::memory_order_relaxed);
}

}  // namespace kelvra::audio::record
