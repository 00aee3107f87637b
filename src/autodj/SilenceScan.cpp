#include "autodj/SilenceScan.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Decoder.h"

namespace kelvra::autodj {

FrameSpan findAudibleFrames(const std::int16_t* samples, std::int64_t frames, int channels) {
    FrameSpan span;
    if (channels <= 0 || frames <= 0) return span;
    auto audible = [&](std::int64_t frame) {
        const std::int16_t* s = samples + frame * channels;
        for (int c = 0; c < channels; ++c)
            if (std::abs(static_cast<int>(s[c])) >= kAudibleMagnitude) return true;
        return false;
    };
    std::int64_t first = 0;
    while (first < frames && !audible(first))
        ++first;
    if (first == frames) return span;
    std::int64_t last = frames - 1;
    while (!audible(last))
        --last;
    return {first, last + 1};
}

std::optional<AudibleSpan> scanFile(const QString& path, const std::atomic<bool>* cancel) {
    const std::string file = path.toStdString();
    audio::OpenedFile opened = audio::openAddonFile(file, audio::OpenMode::Playback);
    if (!opened.decoder) opened = audio::openMainFile(file, audio::OpenMode::Playback);
    if (!opened.decoder) return std::nullopt;
    audio::Decoder& decoder = *opened.decoder;
    const int channels = decoder.format().channels;
    if (channels <= 0) return std::nullopt;

    constexpr std::int64_t kBlockFrames = 16384;
    std::vector<std::int16_t> block(static_cast<std::size_t>(kBlockFrames * channels));
    std::int64_t firstFrame = -1;
    std::int64_t endFrame = 0;
    std::int64_t at = 0;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
        const std::int64_t got = decoder.read(block.data(), kBlockFrames);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        const FrameSpan span = findAudibleFrames(block.data(), got, channels);
        if (!span.empty()) {
            if (firstFrame < 0) firstFrame = at + span.first;
            endFrame = at + span.end;
        }
        at += got;
    }
    if (firstFrame < 0) return std::nullopt;
    // Byte positions are 32-bit like every deck position; a longer song keeps its end.
    const std::int64_t frameBytes = std::int64_t(channels) * 2;
    const auto bytes = [&](std::int64_t frame) {
        return static_cast<std::uint32_t>(
            std::min<std::int64_t>(frame * frameBytes, std::numeric_limits<std::uint32_t>::max()));
    };
    return AudibleSpan{bytes(firstFrame), bytes(endFrame)};
}

namespace {

class ThreadedSilenceScanner final : public SilenceScanner {
  public:
    ThreadedSilenceScanner() : worker_([this] { run(); }) {}

    ~ThreadedSilenceScanner() override {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        cancel_ = true;
        wake_.notify_one();
        worker_.join();
    }

    void setOnResult(OnResult onResult) override { onResult_ = std::move(onResult); }

    void request(const QString& path) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(path);
        }
        wake_.notify_one();
    }

  private:
    void run() {
        for (;;) {
            QString path;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
                if (quit_) return;
                path = queue_.front();
                queue_.pop_front();
            }
            const std::optional<AudibleSpan> span = scanFile(path, &cancel_);
            if (cancel_) return;
            // Hand the result to the UI thread; it is dropped if the scanner is gone by then.
            QMetaObject::invokeMethod(
                &receiver_, [this, path, span] { deliver(path, span); }, Qt::QueuedConnection);
        }
    }

    void deliver(const QString& path, std::optional<AudibleSpan> span) {
        if (onResult_) onResult_(path, span);
    }

    // Lives on the UI thread; queued results run there, and die with it.
    QObject receiver_;
    OnResult onResult_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<QString> queue_;
    bool quit_ = false;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};

class ImmediateSilenceScanner final : public SilenceScanner {
  public:
    void setOnResult(OnResult onResult) override { onResult_ = std::move(onResult); }
    void request(const QString& path) override {
        const std::optional<AudibleSpan> span = scanFile(path);
        if (onResult_) onResult_(path, span);
    }

  private:
    OnResult onResult_;
};

}  // namespace

std::unique_ptr<SilenceScanner> makeThreadedSilenceScanner() {
    return std::make_unique<ThreadedSilenceScanner>();
}

std::unique_ptr<SilenceScanner> makeImmediateSilenceScanner() {
    return std::make_unique<ImmediateSilenceScanner>();
}

}  // namespace kelvra::autodj
