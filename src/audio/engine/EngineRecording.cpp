// Recording the main mix into a FLAC file, live or offline.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/engine/EngineStream.h"

namespace kelvra::audio::engine {

// ---- recording ---------------------------------------------------------------------------

bool Engine::recordStart(const std::string& path) {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (!recorder_) recorder_ = std::make_unique<record::Recorder>();
    if (recorder_->running()) return fail(kErrorAlready);
    if (!recorder_->start(QString::fromStdString(path), mixer_.outputRate()))
        return fail(kErrorCreate);
    mixer_.setRecordTap(&recorder_->ring());
    return ok();
}

RecordingStatus Engine::recordStop() {
    if (!recorder_ || !recorder_->running()) return recordStatus();
    mixer_.setRecordTap(nullptr);
    // A period the output began before the tap went may still be pushing into the ring; once
    // it has made another, nothing touches the ring until the next recording.
    if (outputRunning_) {
        const std::uint64_t before = mixer_.stats().renderedFrames;
        const auto deadline = std::chrono::steady_clock::now() + kSendDeadline;
        while (mixer_.stats().renderedFrames == before &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return recorder_->stop();
}

RecordingStatus Engine::recordStatus() const {
    return recorder_ ? recorder_->status() : RecordingStatus{};
}

}  // namespace kelvra::audio::engine
