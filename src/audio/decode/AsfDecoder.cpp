#include "audio/decode/AsfDecoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/decode/DecodedFrame.h"
#include "audio/decode/Ffmpeg.h"

namespace kelvra::audio::decode {
namespace {

// WMA frames overlap their neighbours by up to 2048 samples, and the first packet after a jump
// misses the start of the frame that continues from the packet before. Output this far past the
// first whole packet is the same, sample for sample, as a decode from the start.
constexpr std::int64_t kPrerollFrames = 8192;
// A target this little ahead of the decoder is reached by decoding on instead of jumping.
constexpr std::int64_t kDecodeOnFrames = 16384;
// Seeks that land later than asked retry this many packets earlier, then four times as many,
// and then decode from the start.
constexpr std::ptrdiff_t kRetryBackPackets = 8;
constexpr int kSeekTries = 3;

// One audio packet of the stream, in file order.
struct PacketEntry {
    std::int64_t pos = -1;    // byte position of the ASF packet it starts in
    std::int64_t pts = 0;     // time stamp, in the stream's time base
    std::int64_t before = 0;  // samples a decode from the start has produced before it
    std::uint64_t hash = 0;   // of its output in that decode
};

// FNV-1a over a packet's output: tells a jump whether it decodes the packet as the first decode
// did.
std::uint64_t hashOf(const std::vector<std::int16_t>& samples) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::int16_t sample : samples) {
        hash ^= static_cast<std::uint16_t>(sample);
        hash *= 1099511628211ull;
    }
    return hash;
}

// A demuxer and codec on the stream, decoding one packet at a time.
struct Pipe {
    FormatPtr format;
    int stream = -1;
    CodecPtr codec;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    bool ended = false;
    bool failed = false;

    bool valid() const { return format && codec && packet && frame; }

    // Sends the next audio packet (or, at the end, the codec's flush) and appends all its output
    // to `out`. Describes the packet in `entry` (pos -1 for the flush). False once ended.
    bool decodePacket(PcmConverter& converter, std::vector<std::int16_t>& out, PacketEntry& entry) {
        if (ended || failed) return false;
        for (;;) {
            if (av_read_frame(format.get(), packet.get()) < 0) {
                avcodec_send_packet(codec.get(), nullptr);
                entry.pos = -1;
                ended = true;
                receiveAll(converter, out);
                return true;
            }
            if (packet->stream_index != stream) {
                av_packet_unref(packet.get());
                continue;
            }
            entry.pos = packet->pos;
            entry.pts = packet->pts;
            avcodec_send_packet(codec.get(), packet.get());  // damaged packets are skipped
            av_packet_unref(packet.get());
            receiveAll(converter, out);
            return true;
        }
    }

    void receiveAll(PcmConverter& converter, std::vector<std::int16_t>& out) {
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), frame.get());
            if (received < 0) {
                // A damaged frame: skip it and go on with the next packet.
                if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
                    avcodec_flush_buffers(codec.get());
                return;
            }
            if (!converter.append(*frame, out)) failed = true;
            av_frame_unref(frame.get());
        }
    }

    // Puts the demuxer before `pts` (0: the start) with a fresh codec: a flushed one keeps some
    // state (the noise generator's place), and then even a decode from the start differs.
    bool seekTo(std::int64_t pts) {
        ended = false;
        failed = false;
        CodecPtr fresh = openDecoder(format->streams[stream]->codecpar);
        if (!fresh) return false;
        codec = std::move(fresh);
        return av_seek_frame(format.get(), stream, std::max<std::int64_t>(0, pts),
                             AVSEEK_FLAG_BACKWARD) >= 0;
    }
};

struct PipeOpen {
    Pipe pipe;
    int error = kErrorOk;
};

PipeOpen openPipe(const std::string& path) {
    PipeOpen result;
    quietFfmpegLogs();
    const AVInputFormat* asf = av_find_input_format("asf");
    AVFormatContext* raw = nullptr;
    // The header was checked already; naming the demuxer skips the probe.
    if (!asf || avformat_open_input(&raw, path.c_str(), asf, nullptr) < 0) {
        result.error = kErrorFormat;
        return result;
    }
    Pipe& pipe = result.pipe;
    pipe.format.reset(raw);
    pipe.stream = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (pipe.stream < 0) {
        result.error = kErrorFormat;
        return result;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != pipe.stream) raw->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* parameters = raw->streams[pipe.stream]->codecpar;
    if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0) {
        result.error = kErrorFormat;
        return result;
    }
    if (!plausibleFormat(parameters->sample_rate, parameters->ch_layout.nb_channels)) {
        result.error = kErrorFrequency;
        return result;
    }
    pipe.codec = openDecoder(parameters);
    if (!pipe.codec || !plausibleFormat(pipe.codec->sample_rate, pipe.codec->ch_layout.nb_channels))
        result.error = kErrorFrequency;
    else if (!pipe.valid())
        result.error = kErrorMemory;
    return result;
}

// The packet list, filled by the indexing thread and read by seeks.
class PacketIndex {
  public:
    explicit PacketIndex(int channels) : channels_(channels) {}
    ~PacketIndex() { stop(); }

    // Decodes `pipe` from the start on a thread of its own, up to `length` samples.
    void startBackground(Pipe pipe, std::int64_t length) {
        worker_ =
            std::thread([this, pipe = std::move(pipe), length]() mutable { build(pipe, length); });
    }
    // Decodes `pipe` from the start to the end now; returns the samples it gave.
    std::int64_t buildNow(Pipe& pipe) { return build(pipe, INT64_MAX); }

    void stop() {
        stop_ = true;
        if (worker_.joinable()) worker_.join();
    }

    // Waits until the list reaches past `frame` or is complete, then returns a copy of it, with
    // one more entry at the end for how far it reaches (pos -1).
    std::vector<PacketEntry> entriesPast(std::int64_t frame) {
        std::unique_lock lock(mutex_);
        progress_.wait(lock, [&] { return done_ || reached_ > frame; });
        std::vector<PacketEntry> copy;
        copy.reserve(entries_.size() + 1);
        copy = entries_;
        copy.push_back({-1, 0, reached_, 0});
        return copy;
    }

  private:
    std::int64_t build(Pipe& pipe, std::int64_t length) {
        PcmConverter converter(channels_);
        std::vector<std::int16_t> samples;
        std::vector<PacketEntry> batch;
        std::int64_t before = 0;
        PacketEntry entry;
        while (!stop_ && before < length) {
            samples.clear();
            entry.before = before;
            if (!pipe.decodePacket(converter, samples, entry)) break;
            before += static_cast<std::int64_t>(samples.size()) / channels_;
            entry.hash = hashOf(samples);
            if (entry.pos >= 0) batch.push_back(entry);
            if (batch.size() >= 64) publish(batch, before, false);
        }
        publish(batch, before, true);
        return before;
    }

    void publish(std::vector<PacketEntry>& batch, std::int64_t reached, bool done) {
        {
            std::lock_guard lock(mutex_);
            entries_.insert(entries_.end(), batch.begin(), batch.end());
            reached_ = reached;
            if (done) done_ = true;
        }
        batch.clear();
        progress_.notify_all();
    }

    const int channels_;
    std::mutex mutex_;
    std::condition_variable progress_;
    std::vector<PacketEntry> entries_;
    std::int64_t reached_ = 0;  // samples produced by the packets listed
    bool done_ = false;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

class AsfDecoder final : public Decoder {
  public:
    AsfDecoder(std::string path, Pipe pipe, int channels)
        : path_(std::move(path)),
          pipe_(std::move(pipe)),
          converter_(channels),
          decoded_(channels),
          channels_(channels),
          rate_(pipe_.codec->sample_rate),
          index_(channels) {}

    ~AsfDecoder() override { index_.stop(); }

    // Measures the length by decoding the file once through a second demuxer, which also fills
    // the packet list. False when it does not open.
    bool measure() {
        PipeOpen second = openPipe(path_);
        if (second.error != kErrorOk) return false;
        length_ = index_.buildNow(second.pipe);
        indexing_ = true;
        return true;
    }
    void setLength(std::int64_t length) { length_ = length; }

    // Decodes the first packets; false when the file has no audio that decodes.
    bool firstAudioDecodes() {
        while (decoded_.end() == 0 && decodeNext()) {
        }
        return decoded_.end() > 0;
    }

    PcmFormat format() const override { return {rate_, channels_}; }
    std::int64_t lengthFrames() const override { return length_; }

    bool seek(std::int64_t frame) override {
        frame = std::clamp<std::int64_t>(frame, 0, length_);
        position_ = frame;
        if (frame == length_) return true;  // reads give nothing; the decoder stays where it is
        if (frame >= std::max(decoded_.start(), exactFrom_) &&
            frame < decoded_.end() + kDecodeOnFrames)
            return true;
        if (frame < kPrerollFrames) return rewind();
        if (jumpsInexact_) {
            // Only a decode from the start is exact: on from here when the target is ahead.
            if (exactFrom_ == 0 && frame >= decoded_.start()) return decodeUpTo(frame);
            return rewind();
        }
        if (!indexing_) {
            PipeOpen second = openPipe(path_);
            if (second.error != kErrorOk) return rewind();
            index_.startBackground(std::move(second.pipe), length_);
            indexing_ = true;
        }
        const std::vector<PacketEntry> entries = index_.entriesPast(frame + kPrerollFrames);
        // The last packet whose successor starts a preroll or more before the target.
        auto after = std::upper_bound(
            entries.begin(), entries.end(), frame - kPrerollFrames,
            [](std::int64_t wanted, const PacketEntry& e) { return wanted < e.before; });
        if (after - entries.begin() < 2) return rewind();
        // The demuxer may land later than asked (on a key frame, or by its index's steps): each
        // retry asks for a packet further back.
        std::ptrdiff_t candidate = (after - entries.begin()) - 2;
        for (int attempt = 0; attempt < kSeekTries && candidate > 0 && !jumpsInexact_; ++attempt) {
            if (landAt(entries[std::size_t(candidate)].pts, entries, frame)) return true;
            candidate -= kRetryBackPackets << (2 * attempt);
        }
        return rewind();
    }

    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        std::int64_t written = 0;
        while (written < frames && position_ < length_) {
            if (decoded_.holds(position_)) {
                const std::int64_t count =
                    decoded_.copy(position_, out + written * channels_,
                                  std::min(frames - written, length_ - position_));
                written += count;
                position_ += count;
                continue;
            }
            if (position_ >= decoded_.end() && decodeNext()) continue;
            // Decoding stopped before the stated length: what is missing plays as silence.
            if (pipe_.failed && decoded_.end() == 0) return written > 0 ? written : -1;
            const std::int64_t count = std::min(frames - written, length_ - position_);
            std::fill_n(out + written * channels_, count * channels_, std::int16_t{0});
            written += count;
            position_ += count;
        }
        return written;
    }

  private:
    // Decodes the next packet into decoded_, placed where the previous one ended.
    bool decodeNext() {
        PacketEntry entry;
        decoded_.restart(decoded_.end());
        return pipe_.decodePacket(converter_, decoded_.samples(), entry);
    }

    bool rewind() {
        if (!pipe_.seekTo(0)) return false;
        decoded_.restart(0);
        exactFrom_ = 0;
        // The first read decodes from the start up to the position.
        return decodeUpTo(position_);
    }

    // Decodes on until decoded_ holds `frame` (or the stream ends).
    bool decodeUpTo(std::int64_t frame) {
        while (frame >= decoded_.end() && decodeNext()) {
        }
        return !pipe_.failed;
    }

    // Seeks the demuxer before `pts` and decodes up to `frame`. Each packet's output goes where
    // the same packet's output went in the first decode; packets that give a different count
    // (the first ones after a jump miss what came before) are dropped, and the preroll counts
    // from the last of them. False when that cannot reach `frame` exactly from here.
    bool landAt(std::int64_t pts, const std::vector<PacketEntry>& entries, std::int64_t frame) {
        if (!pipe_.seekTo(pts)) return false;
        // The last entry only says how far the list reaches.
        const auto listed = entries.end() - 1;
        PacketEntry entry;
        std::vector<std::int16_t>& samples = decoded_.samples();
        decoded_.restart(0);
        if (!pipe_.decodePacket(converter_, samples, entry) || entry.pos < 0) return false;
        // The demuxer lands on an ASF packet, and may skip payloads of it to a key frame: the
        // packet is found in the list by its place and time stamp.
        auto at =
            std::lower_bound(entries.begin(), listed, entry.pos,
                             [](const PacketEntry& e, std::int64_t pos) { return e.pos < pos; });
        while (at != listed && at->pos == entry.pos && at->pts != entry.pts)
            ++at;
        if (at == listed || at->pos != entry.pos) return false;
        exactFrom_ = (at + 1)->before + kPrerollFrames;
        for (;;) {
            const std::int64_t got = std::int64_t(samples.size()) / channels_;
            const bool sameCount = got == (at + 1)->before - at->before;
            if (!sameCount) exactFrom_ = (at + 1)->before + kPrerollFrames;
            if (exactFrom_ > frame) return false;
            if (sameCount && (at + 1)->before > exactFrom_ && hashOf(samples) != at->hash) {
                // Past the preroll and still not what the first decode gave: the codec carries
                // state from the start of the song (noise coding at low bitrates does), so no
                // jump of this song can be exact.
                jumpsInexact_ = true;
                return false;
            }
            if (sameCount) {
                // restart() empties the samples; keep them across the move.
                std::vector<std::int16_t> kept = std::move(samples);
                decoded_.restart(at->before);
                samples = std::move(kept);
            } else {
                decoded_.restart((at + 1)->before);
            }
            if (frame < decoded_.end() || at + 1 == listed) break;
            ++at;
            decoded_.restart(decoded_.end());
            if (!pipe_.decodePacket(converter_, samples, entry)) return false;
            if (entry.pos < 0) break;
            if (entry.pos != at->pos || entry.pts != at->pts) return false;
        }
        // A stream that ends early plays silence to its length, wherever decoding stopped.
        return !pipe_.failed && (decoded_.holds(frame) || pipe_.ended);
    }

    const std::string path_;
    Pipe pipe_;
    PcmConverter converter_;
    DecodedFrame decoded_;  // the last decoded packet's output
    const int channels_;
    const int rate_;
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;
    std::int64_t exactFrom_ = 0;  // first sample past the preroll of the last jump
    PacketIndex index_;
    bool indexing_ = false;
    bool jumpsInexact_ = false;
};

}  // namespace

AsfOpenResult openAsf(const std::string& path, std::optional<std::uint64_t> duration100ns) {
    PipeOpen opened = openPipe(path);
    if (opened.error != kErrorOk) return {nullptr, opened.error};
    const int channels = outputChannels(opened.pipe.codec->ch_layout.nb_channels);
    const auto rate = static_cast<std::uint64_t>(opened.pipe.codec->sample_rate);
    const std::int64_t fileBytes =
        opened.pipe.format->pb ? avio_size(opened.pipe.format->pb) : std::int64_t{-1};
    auto decoder = std::make_unique<AsfDecoder>(path, std::move(opened.pipe), channels);
    // A stated duration beyond a day is not believed, nor one the file is too small to hold
    // (WMA's lowest bitrates stay far below 48 frames a byte); the decode then measures the file.
    constexpr std::uint64_t kLongest = 24ull * 3600 * 10'000'000;
    constexpr std::uint64_t kMostFramesPerByte = 48;
    std::uint64_t length = 0;
    if (duration100ns && *duration100ns <= kLongest) {
        // Rounded to the nearest frame, halves to even.
        const std::uint64_t scaled = *duration100ns * rate;
        length = scaled / 10'000'000;
        const std::uint64_t rest = scaled % 10'000'000;
        if (rest > 5'000'000 || (rest == 5'000'000 && (length & 1))) ++length;
    }
    if (fileBytes > 0 && length > std::uint64_t(fileBytes) * kMostFramesPerByte) length = 0;
    if (length > 0) {
        decoder->setLength(static_cast<std::int64_t>(length));
    } else if (!decoder->measure()) {
        return {nullptr, kErrorFormat};
    }
    if (!decoder->firstAudioDecodes()) return {nullptr, kErrorFormat};
    return {std::move(decoder), kErrorOk};
}

}  // namespace kelvra::audio::decode
