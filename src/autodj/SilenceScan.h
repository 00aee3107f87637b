// Where a song's sound starts and ends: the first and the last sample above -60 dBFS. The Auto-DJ
// uses these to start an incoming song at its first sound and to measure the outgoing song by
// its audible length. Finding them means decoding the whole file, so it runs on a worker thread.
// Threads: findAudibleFrames() and scanFile() anywhere; a SilenceScanner on the UI thread only
// (the threaded one's worker is internal).
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kelvra::autodj {

// -60 dBFS of 16-bit full scale is 32768 * 10^-3 = 32.768, so a sample is above it from a
// magnitude of 33 on.
inline constexpr int kAudibleMagnitude = 33;

// Frames [first, end) hold every audible sample: `first` is the first frame with one, `end` the
// frame after the last. Empty (first == end == 0) when nothing is audible.
struct FrameSpan {
    std::int64_t first = 0;
    std::int64_t end = 0;
    bool empty() const { return end <= first; }
};

// The audible span of interleaved 16-bit samples.
FrameSpan findAudibleFrames(const std::int16_t* samples, std::int64_t frames, int channels);

// The audible span of a song in the stream byte positions the decks use.
struct AudibleSpan {
    std::uint32_t first = 0;  // byte position of the first audible frame
    std::uint32_t end = 0;    // byte position just after the last audible frame
};

// Decodes the file as a deck would open it (the add-on side first, then the main side) and finds
// its audible span. None when the file cannot be decoded or is silent throughout. `cancel` is
// polled between blocks; when it turns true the scan gives up and returns none.
std::optional<AudibleSpan> scanFile(const QString& path, const std::atomic<bool>* cancel = nullptr);

class SilenceScanner {
  public:
    // `span` is none when the file gave no audible span.
    using OnResult = std::function<void(const QString& path, std::optional<AudibleSpan> span)>;
    virtual ~SilenceScanner() = default;
    virtual void setOnResult(OnResult onResult) = 0;
    // Asks for a scan; the result arrives later through the callback, on the UI thread. A load
    // never waits for it.
    virtual void request(const QString& path) = 0;
};

// Scans one file after another on a worker thread of its own; the destructor cancels the scan in
// progress and joins the worker.
std::unique_ptr<SilenceScanner> makeThreadedSilenceScanner();

// Scans on the caller's thread and answers before request() returns. For offline renders,
// where the mix must come out the same on every run, whatever a worker's timing would be.
std::unique_ptr<SilenceScanner> makeImmediateSilenceScanner();

}  // namespace kelvra::autodj
