#include "app/WaveformStrip.h"

#include <algorithm>
#include <cmath>

#include "core/ControlModels.h"

namespace kelvra::app {
namespace {

// A lane's drift from the play head the model expects, below which the model eases towards the
// deck instead of jumping: more than the output's period and the tick's jitter, less than a
// seek a DJ would notice.
constexpr double kEaseBelowSeconds = 0.05;
constexpr double kEaseShare = 0.1;

constexpr QRgb kBackground = qRgb(0x05, 0x0c, 0x09);
constexpr QRgb kSeparator = qRgb(0x2a, 0x33, 0x3c);
constexpr QRgb kPlayHead = qRgb(0xf2, 0xff, 0xf5);
constexpr QRgb kCue = qRgb(0x4f, 0xc3, 0xff);
// The loop in the amber of the overview's loop band: a wash over the waveform that lets it show
// through, stronger while the loop plays, and a line at each end.
constexpr QRgb kLoop = qRgb(0xff, 0xc8, 0x3c);
// Lows warm, mids green, highs pale cyan, as in the deck display's overview.
constexpr QRgb kBands[audio::analysis::kBandCount] = {
    qRgb(0xff, 0x8a, 0x3d), qRgb(0x5f, 0xe0, 0x7a), qRgb(0xb8, 0xf0, 0xff)};

QRgb scaled(QRgb colour, int percent) {
    return qRgb(qRed(colour) * percent / 100, qGreen(colour) * percent / 100,
                qBlue(colour) * percent / 100);
}

QRgb mixed(QRgb under, QRgb over, int percent) {
    const auto mix = [percent](int a, int b) { return a + (b - a) * percent / 100; };
    return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)),
                mix(qBlue(under), qBlue(over)));
}

// One lane's pixels: rows [top, top + height) of an RGB32 image.
class LanePainter {
  public:
    LanePainter(QImage& image, int top, int height)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(int(image.bytesPerLine() / 4)),
          width_(image.width()),
          top_(top),
          height_(height) {}

    void fill(QRgb colour) {
        for (int y = top_; y < top_ + height_; ++y)
            std::fill_n(bits_ + std::ptrdiff_t(y) * stride_, width_, colour);
    }
    // A vertical run centred on the lane's middle, `half` pixels each way.
    void centred(int x, int half, QRgb colour) {
        const int middle = top_ + height_ / 2;
        run(x, middle - half, middle + half + 1, colour);
    }
    void run(int x, int from, int to, QRgb colour) {
        if (x < 0 || x >= width_) return;
        from = std::max(from, top_);
        to = std::min(to, top_ + height_);
        for (int y = from; y < to; ++y)
            bits_[std::ptrdiff_t(y) * stride_ + x] = colour;
    }
    // A marker line that lets the waveform show through.
    void blendColumn(int x, QRgb colour, int percent, int from, int to) {
        if (x < 0 || x >= width_) return;
        from = std::max(from, top_);
        to = std::min(to, top_ + height_);
        for (int y = from; y < to; ++y) {
            QRgb& pixel = bits_[std::ptrdiff_t(y) * stride_ + x];
            pixel = mixed(pixel, colour, percent);
        }
    }
    int top() const { return top_; }
    int height() const { return height_; }
    int width() const { return width_; }

  private:
    QRgb* bits_;
    int stride_;
    int width_;
    int top_;
    int height_;
};

void renderLane(LanePainter& lane, const WaveformLane& source, double halfSpan,
                std::int64_t nowMs) {
    lane.fill(kBackground);
    const int width = lane.width();
    const int head = width / 2;
    const audio::analysis::AnalysisSnapshot& analysis = source.analysis;
    const double position = source.positionAt(nowMs);
    // The span is of the mix's seconds; a faster deck shows more of its song in it.
    const double secondsPerPixel = 2 * halfSpan * source.rate / std::max(1, width);
    const double leftEdge = position - head * secondsPerPixel;

    if (analysis && analysis->waveform.blockFrames > 0 && analysis->waveform.rate > 0) {
        const auto& wave = analysis->waveform;
        const double blocksPerSecond = double(wave.rate) / wave.blockFrames;
        const auto count = std::int64_t(wave.blocks.size());
        const int half = lane.height() / 2 - 1;
        for (int x = 0; x < width; ++x) {
            const double from = (leftEdge + x * secondsPerPixel) * blocksPerSecond;
            const auto first = std::int64_t(std::floor(from));
            const auto last = std::max(
                first + 1, std::int64_t(std::floor(from + secondsPerPixel * blocksPerSecond)));
            if (last <= 0 || first >= count) continue;
            std::array<int, audio::analysis::kBandCount> peak{}, rms{};
            for (std::int64_t b = std::max<std::int64_t>(first, 0); b < std::min(last, count); ++b)
                for (std::size_t band = 0; band < peak.size(); ++band) {
                    peak[band] = std::max<int>(peak[band], wave.blocks[std::size_t(b)].peak[band]);
                    rms[band] = std::max<int>(rms[band], wave.blocks[std::size_t(b)].rms[band]);
                }
            // Tallest band first, so every band stays visible over the others; the peak's
            // reach dim, the body (RMS) full; what has played already dimmer still.
            std::array<std::size_t, audio::analysis::kBandCount> order{0, 1, 2};
            std::sort(order.begin(), order.end(),
                      [&peak](std::size_t a, std::size_t b) { return peak[a] > peak[b]; });
            const bool played = x < head;
            // Silence draws nothing, not even the centre line.
            for (const std::size_t band : order) {
                if (peak[band] == 0) continue;
                lane.centred(x, peak[band] * half / 255, scaled(kBands[band], played ? 30 : 55));
            }
            for (const std::size_t band : order) {
                if (rms[band] == 0) continue;
                lane.centred(x, rms[band] * half / 255, scaled(kBands[band], played ? 50 : 100));
            }
        }

        // The beat grid: every beat faint, every fourth (from the first beat) brighter.
        if (analysis->bpm > 0) {
            const double period = 60.0 / analysis->bpm;
            const double rightEdge = leftEdge + width * secondsPerPixel;
            auto beat = std::int64_t(
                std::ceil((std::max(leftEdge, 0.0) - analysis->firstBeatSeconds) / period));
            for (;; ++beat) {
                const double at = analysis->firstBeatSeconds + double(beat) * period;
                if (at > rightEdge || at > analysis->seconds) break;
                if (at < 0) continue;
                const int x = int(std::lrint((at - leftEdge) / secondsPerPixel));
                const bool bar = beat % 4 == 0;
                lane.blendColumn(x, kPlayHead, bar ? 55 : 22, lane.top(),
                                 lane.top() + lane.height());
            }
        }
    }
    if (source.loopIn >= 0) {
        const int from = int(std::lrint((source.loopIn - leftEdge) / secondsPerPixel));
        const int to = source.loopOut >= 0
                           ? int(std::lrint((source.loopOut - leftEdge) / secondsPerPixel))
                           : from;
        const int wash = source.loopActive ? 24 : 10;
        for (int x = std::max(from + 1, 0); x < std::min(to, width); ++x)
            lane.blendColumn(x, kLoop, wash, lane.top(), lane.top() + lane.height());
        const int edge = source.loopActive ? 85 : 45;
        lane.blendColumn(from, kLoop, edge, lane.top(), lane.top() + lane.height());
        if (to > from) lane.blendColumn(to, kLoop, edge, lane.top(), lane.top() + lane.height());
    }
    if (source.cue >= 0) {
        const int x = int(std::lrint((source.cue - leftEdge) / secondsPerPixel));
        lane.run(x, lane.top(), lane.top() + lane.height(), kCue);
        lane.run(x + 1, lane.top(), lane.top() + 6, kCue);
    }
    // Hot cues in their pads' colours, each with a flag at the top as wide as its number.
    for (int slot = 0; slot < int(source.hotCues.size()); ++slot) {
        const double at = source.hotCues[std::size_t(slot)];
        if (at < 0) continue;
        const int number = kHotCueColours[slot];
        const QRgb colour = qRgb(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
        const int x = int(std::lrint((at - leftEdge) / secondsPerPixel));
        lane.run(x, lane.top(), lane.top() + lane.height(), colour);
        for (int flag = 1; flag <= 2 + slot; ++flag)
            lane.run(x + flag, lane.top(), lane.top() + 5, colour);
    }
}

}  // namespace

double WaveformLane::positionAt(std::int64_t nowMs) const {
    const double at = anchorSeconds + double(nowMs - anchorMs) / 1000.0 * speed;
    const double end = analysis ? analysis->seconds : at;
    return std::clamp(at, 0.0, std::max(0.0, end));
}

void WaveformStripModel::setVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    emit changed();
}

void WaveformStripModel::zoom(int steps) {
    const double span = std::clamp(halfSpan_ * std::pow(0.8, steps), kMinHalfSpan, kMaxHalfSpan);
    if (span == halfSpan_) return;
    halfSpan_ = span;
    emit changed();
}

void WaveformStripModel::setAnalysis(Side side, audio::analysis::AnalysisSnapshot analysis) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    if (lane.analysis == analysis) return;
    lane.analysis = std::move(analysis);
    emit changed();
}

void WaveformStripModel::setCue(Side side, double seconds) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    if (lane.cue == seconds) return;
    lane.cue = seconds;
    emit changed();
}

void WaveformStripModel::setRate(Side side, double rate) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    if (!(rate > 0)) rate = 1;
    if (lane.rate == rate) return;
    lane.rate = rate;
    emit changed();
}

void WaveformStripModel::setLoop(Side side, double in, double out, bool active) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    if (lane.loopIn == in && lane.loopOut == out && lane.loopActive == active) return;
    lane.loopIn = in;
    lane.loopOut = out;
    lane.loopActive = active;
    emit changed();
}

void WaveformStripModel::setHotCues(Side side, const std::array<double, 8>& seconds) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    if (lane.hotCues == seconds) return;
    lane.hotCues = seconds;
    emit changed();
}

void WaveformStripModel::follow(Side side, std::int64_t nowMs, double positionSeconds,
                                double speed) {
    WaveformLane& lane = lanes_[sideIndex(side)];
    const double expected = lane.positionAt(nowMs);
    const double drift = positionSeconds - expected;
    if (speed != 0 && speed == lane.speed && std::abs(drift) < kEaseBelowSeconds) {
        lane.anchorSeconds = expected + drift * kEaseShare;
        lane.anchorMs = nowMs;
        return;
    }
    const bool moved = positionSeconds != expected || speed != lane.speed;
    lane.anchorSeconds = positionSeconds;
    lane.anchorMs = nowMs;
    lane.speed = speed;
    if (moved) emit changed();
}

void renderWaveformStrip(QImage& image, const WaveformStripModel& model, std::int64_t nowMs) {
    if (image.isNull() || image.format() != QImage::Format_RGB32) return;
    const int laneHeight = (image.height() - 1) / 2;
    LanePainter top(image, 0, laneHeight);
    LanePainter bottom(image, laneHeight + 1, image.height() - laneHeight - 1);
    renderLane(top, model.lane(Side::Left), model.halfSpanSeconds(), nowMs);
    renderLane(bottom, model.lane(Side::Right), model.halfSpanSeconds(), nowMs);
    LanePainter separator(image, laneHeight, 1);
    separator.fill(kSeparator);
    // The play heads, one above the other in the middle.
    LanePainter whole(image, 0, image.height());
    const int head = image.width() / 2;
    whole.run(head - 1, 0, image.height(), kPlayHead);
    whole.run(head, 0, image.height(), kPlayHead);
}

}  // namespace kelvra::app
