#include "audio/decode/Mp3Decoder.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "audio/decode/DecodedFrame.h"
#include "audio/decode/Ffmpeg.h"
#include "audio/decode/Mp3Frames.h"

namespace kelvra::audio::decode {
namespace {

// A frame can take its main data from up to 511 bytes before it (the bit reservoir), and the
// filterbanks carry about one frame of history; decoding at least this much ahead of a seek
// target makes the output the same, sample for sample, as a decode from the start.
constexpr std::int64_t kPrerollSamples = 4608;
constexpr std::int64_t kPrerollBytes = 4096;
// Mapped pages are given back in steps of this much, well behind the frame being decoded.
constexpr std::size_t kReleaseStep = 4u << 20;

// The floating-point decoders: the fixed-point ones carry a dither state from sample to sample
// for ever, so after a seek they never again match a decode from the start.
const AVCodec* findDecoder(int layer) {
    const char* name = layer == 3 ? "mp3float" : layer == 2 ? "mp2float" : "mp1float";
    if (const AVCodec* codec = avcodec_find_decoder_by_name(name)) return codec;
    return avcodec_find_decoder(layer == 3   ? AV_CODEC_ID_MP3
                                : layer == 2 ? AV_CODEC_ID_MP2
                                             : AV_CODEC_ID_MP1);
}

class Mp3Decoder final : public Decoder {
  public:
    Mp3Decoder(FileMapping file, Mp3Index index)
        : file_(std::move(file)),
          index_(std::move(index)),
          converter_(index_.channels),
          decoded_(converter_.channels()) {}

    bool start() { return restartAt(0); }

    PcmFormat format() const override { return {index_.rate, converter_.channels()}; }
    std::int64_t lengthFrames() const override { return index_.lengthFrames; }

    bool seek(std::int64_t frame) override {
        frame = std::clamp<std::int64_t>(frame, 0, index_.lengthFrames);
        const std::int64_t raw = frame + index_.skipFrames;
        position_ = frame;
        // Already decoded, or just ahead of the decoder: go on without a restart.
        if (raw >= std::max(decoded_.start(), exactFrom_) && raw < nextRaw() + kPrerollSamples)
            return true;
        const std::int64_t spf = index_.samplesPerFrame;
        const std::int64_t target = std::min(raw / spf, index_.frameCount());
        std::int64_t first = target;
        while (first > 0 && ((target - first) * spf < kPrerollSamples ||
                             offsetOf(target) - index_.offsets[first] < kPrerollBytes))
            --first;
        if (!restartAt(first)) return false;
        exactFrom_ = first == 0 ? 0 : target * spf;
        return true;
    }

    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        const int channels = converter_.channels();
        std::int64_t written = 0;
        while (written < frames && position_ < index_.lengthFrames) {
            const std::int64_t raw = position_ + index_.skipFrames;
            if (!decoded_.holds(raw)) {
                if (!decodeNext()) break;
                continue;
            }
            const std::int64_t count =
                decoded_.copy(raw, out + written * channels,
                              std::min(frames - written, index_.lengthFrames - position_));
            written += count;
            position_ += count;
        }
        if (failed_ && written == 0) return -1;
        return written;
    }

  private:
    std::int64_t offsetOf(std::int64_t frame) const {
        return frame < index_.frameCount() ? index_.offsets[frame]
                                           : static_cast<std::int64_t>(file_.size());
    }
    std::int64_t nextRaw() const { return next_ * index_.samplesPerFrame; }

    // A fresh decoder rather than a flushed one: nothing of the old position's state survives.
    bool restartAt(std::int64_t frame) {
        if (!codec_ || !packet_ || !frame_) {
            packet_.reset(av_packet_alloc());
            frame_.reset(av_frame_alloc());
        }
        const AVCodec* decoder = findDecoder(index_.layer);
        codec_.reset(decoder ? avcodec_alloc_context3(decoder) : nullptr);
        if (!codec_ || !packet_ || !frame_) return false;
        codec_->thread_count = 1;
        if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) {
            codec_.reset();
            return false;
        }
        next_ = frame;
        decoded_.restart(nextRaw());
        failed_ = false;
        return true;
    }

    // Decodes the next frame into decoded_. Every frame yields exactly its sample count: a frame
    // that does not decode (damage, or a reservoir cut off by a seek) becomes silence, so the
    // sample positions after it stay right.
    bool decodeNext() {
        if (!codec_) {
            failed_ = true;
            return false;
        }
        if (next_ >= index_.frameCount()) return false;
        const int channels = converter_.channels();
        const std::int64_t spf = index_.samplesPerFrame;
        const auto offset = static_cast<std::size_t>(index_.offsets[next_]);
        const auto header = parseMpegHeader(file_.bytes().subspan(offset));
        releaseBehind(offset);
        decoded_.restart(nextRaw());
        ++next_;
        auto& samples = decoded_.samples();
        if (header) {
            // The decoder copies a packet that owns no buffer; it never writes through it.
            packet_->data = const_cast<std::uint8_t*>(file_.data()) + offset;
            packet_->size = header->size;
            if (avcodec_send_packet(codec_.get(), packet_.get()) >= 0) {
                while (avcodec_receive_frame(codec_.get(), frame_.get()) >= 0) {
                    converter_.append(*frame_, samples);
                    av_frame_unref(frame_.get());
                }
            }
            packet_->data = nullptr;
            packet_->size = 0;
        }
        samples.resize(static_cast<std::size_t>(spf * channels), 0);
        return true;
    }

    // Gives back the mapped pages more than a step behind `offset` (a seek back reads them in
    // again).
    void releaseBehind(std::size_t offset) {
        if (offset < releasedTo_) releasedTo_ = 0;
        if (offset < releasedTo_ + 2 * kReleaseStep) return;
        const std::size_t to = offset - kReleaseStep;
        file_.release(releasedTo_, to - releasedTo_);
        releasedTo_ = to;
    }

    FileMapping file_;
    std::size_t releasedTo_ = 0;  // pages before this have been given back
    Mp3Index index_;
    PcmConverter converter_;
    CodecPtr codec_;
    PacketPtr packet_;
    FramePtr frame_;
    std::int64_t next_ = 0;  // index of the next frame to decode
    // The last decoded frame; positions in it count from the first decoded sample.
    DecodedFrame decoded_;
    std::int64_t exactFrom_ = 0;  // first sample past the preroll of the last restart
    std::int64_t position_ = 0;   // output frame the next read starts at
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<Decoder> openMp3(FileMapping file) {
    std::size_t released = 0;
    auto index = indexMp3(file.bytes(), [&](std::size_t scanned) {
        if (scanned < released + 2 * kReleaseStep) return;
        file.release(released, scanned - kReleaseStep - released);
        released = scanned - kReleaseStep;
    });
    if (!index) return nullptr;
    file.release(0, file.size());
    auto decoder = std::make_unique<Mp3Decoder>(std::move(file), std::move(*index));
    if (!decoder->start()) return nullptr;
    return decoder;
}

}  // namespace kelvra::audio::decode
