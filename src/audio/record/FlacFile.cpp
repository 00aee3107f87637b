#include "audio/record/FlacFile.h"

#include <FLAC/format.h>
#include <FLAC/stream_encoder.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace kelvra::audio::record {
namespace {

constexpr unsigned kChannels = 2;
constexpr unsigned kBitsPerSample = 16;
// The library's default balance: a mix encodes many times faster than it plays, and the file is
// within a few per cent of the smallest the format makes.
constexpr unsigned kCompressionLevel = 5;

// Where the header's fields sit: "fLaC", the STREAMINFO block's own 4-byte header, then its 34
// bytes. The total of samples is the low 36 bits of the 8 bytes at 18 of the block, the MD5
// signature of the samples the 16 bytes after them.
constexpr qint64 kStreamInfo = 8;
constexpr qint64 kStreamInfoLength = 34;
constexpr qint64 kTotalSamples = kStreamInfo + 13;  // its top 4 bits share a byte
constexpr qint64 kHeaderEnd = kStreamInfo + kStreamInfoLength;

}  // namespace

struct FlacFile::State {
    FLAC__StreamEncoder* encoder = nullptr;
    QFile file;
    // The signature of the samples in whole frames on disk, for a header completed by hand;
    // the encoder's own covers every sample it was given.
    QCryptographicHash md5{QCryptographicHash::Md5};
    // Samples handed to the encoder that no written frame holds yet, oldest at `pendingStart`.
    std::vector<std::int16_t> pending;
    std::size_t pendingStart = 0;
    std::vector<FLAC__int32> wide;
    std::uint64_t position = 0;    // where the next write goes
    std::uint64_t wholeBytes = 0;  // the end of the last block or frame written whole
    std::uint64_t wholeFrames = 0;
    QString writeError;  // the system's reason, once a write failed

    ~State() {
        if (encoder) FLAC__stream_encoder_delete(encoder);
    }

    // A frame of `frames` samples went to disk whole: those samples are the oldest pending.
    void frameWritten(std::size_t frames) {
        const std::size_t samples = std::min(frames * kChannels, pending.size() - pendingStart);
        const std::int16_t* first = pending.data() + pendingStart;
        // The signature is over little-endian samples, as the format defines it.
        if constexpr (std::endian::native == std::endian::little) {
            md5.addData(QByteArrayView(reinterpret_cast<const char*>(first),
                                       qsizetype(samples * sizeof(std::int16_t))));
        } else {
            for (std::size_t i = 0; i < samples; ++i) {
                const auto value = std::uint16_t(first[i]);
                const std::array<char, 2> bytes = {char(value & 0xFF), char(value >> 8)};
                md5.addData(QByteArrayView(bytes.data(), 2));
            }
        }
        pendingStart += samples;
        wholeFrames += samples / kChannels;
    }
};

namespace {

FLAC__StreamEncoderWriteStatus writeBytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                          size_t bytes, uint32_t samples, uint32_t, void* client) {
    auto& s = *static_cast<FlacFile::State*>(client);
    // A write the system cut short is tried on from there: the next attempt says why.
    const auto* data = reinterpret_cast<const char*>(buffer);
    for (qint64 left = qint64(bytes); left > 0;) {
        const qint64 written = s.file.write(data + (qint64(bytes) - left), left);
        if (written <= 0) {
            s.writeError = s.file.errorString();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        left -= written;
    }
    // A native stream's metadata blocks and frames each come in one call (the library's docs
    // promise less; the full-disk test holds it to that). Only those at the end extend the
    // file: the rest rewrite the header in place at the finish.
    const bool appended = s.position == s.wholeBytes;
    s.position += bytes;
    if (appended) {
        s.wholeBytes = s.position;
        if (samples > 0) s.frameWritten(samples);
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seekTo(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                     void* client) {
    auto& s = *static_cast<FlacFile::State*>(client);
    if (!s.file.seek(qint64(offset))) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    s.position = offset;
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tellWhere(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                        void* client) {
    *offset = static_cast<FlacFile::State*>(client)->position;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace

FlacFile::FlacFile() = default;

FlacFile::~FlacFile() {
    finish();
}

bool FlacFile::isOpen() const {
    return state_ && state_->file.isOpen();
}

std::uint64_t FlacFile::bytes() const {
    return state_ ? state_->wholeBytes : 0;
}

std::uint64_t FlacFile::frames() const {
    return state_ ? state_->wholeFrames : 0;
}

bool FlacFile::open(const QString& path, int rate) {
    finish();
    message_.clear();
    if (rate < 1 || !FLAC__format_sample_rate_is_valid(unsigned(rate))) {
        message_ = "cannot record " + path + " at " + QString::number(rate) + " Hz";
        return false;
    }
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.file.setFileName(path);
    // Unbuffered: every frame reaches the system as it is written, so a failure shows at the
    // frame that caused it and the last whole frame is known. New only: a recording never
    // empties a file, a device or a pipe that was there before it, and so the file it removes
    // after a failed header is always its own.
    if (!s.file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        message_ = "cannot create " + path + ": " +
                   (QFileInfo::exists(path) || QFileInfo(path).isSymLink()
                        ? QStringLiteral("it exists already")
                        : s.file.errorString());
        state_.reset();
        return false;
    }
    s.encoder = FLAC__stream_encoder_new();
    const bool set = s.encoder && FLAC__stream_encoder_set_channels(s.encoder, kChannels) &&
                     FLAC__stream_encoder_set_bits_per_sample(s.encoder, kBitsPerSample) &&
                     FLAC__stream_encoder_set_sample_rate(s.encoder, unsigned(rate)) &&
                     FLAC__stream_encoder_set_compression_level(s.encoder, kCompressionLevel);
    const FLAC__StreamEncoderInitStatus init =
        set ? FLAC__stream_encoder_init_stream(s.encoder, writeBytes, seekTo, tellWhere, nullptr,
                                               &s)
            : FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR;
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        message_ = !s.writeError.isEmpty()
                       ? "cannot write " + path + ": " + s.writeError
                       : "cannot record " + path + " at " + QString::number(rate) + " Hz: " +
                             QString::fromLatin1(FLAC__StreamEncoderInitStatusString[init]);
        s.file.remove();
        state_.reset();
        return false;
    }
    return true;
}

bool FlacFile::write(const std::int16_t* stereo, std::size_t frames) {
    if (!isOpen()) return false;
    State& s = *state_;
    const std::size_t samples = frames * kChannels;
    s.pending.insert(s.pending.end(), stereo, stereo + samples);
    s.wide.assign(stereo, stereo + samples);
    if (!FLAC__stream_encoder_process_interleaved(s.encoder, s.wide.data(), unsigned(frames))) {
        fail();
        return false;
    }
    // What the frames written took leaves the queue; the encoder holds at most a block more.
    s.pending.erase(s.pending.begin(), s.pending.begin() + std::ptrdiff_t(s.pendingStart));
    s.pendingStart = 0;
    return true;
}

bool FlacFile::finish() {
    if (!isOpen()) return message_.isEmpty();
    State& s = *state_;
    if (!FLAC__stream_encoder_finish(s.encoder)) {
        fail();
        return false;
    }
    s.file.close();
    return true;
}

void FlacFile::fail() {
    State& s = *state_;
    const QString path = s.file.fileName();
    if (!s.writeError.isEmpty()) {
        message_ = "cannot write " + path + ": " + s.writeError;
    } else {
        const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(s.encoder);
        message_ = "cannot record into " + path + ": " +
                   QString::fromLatin1(FLAC__StreamEncoderStateString[state]);
    }
    // The encoder gave up: it writes nothing more, not even its header.
    FLAC__stream_encoder_finish(s.encoder);
    if (!repair()) message_ += "; its header could not be completed: " + s.file.errorString();
    s.file.close();
}

// Cuts the file back to the last whole frame and puts that frame count and the signature of
// those samples into the header that is already there.
bool FlacFile::repair() {
    State& s = *state_;
    if (s.wholeBytes < std::uint64_t(kHeaderEnd)) return false;
    if (!s.file.resize(qint64(s.wholeBytes))) return false;
    char sharedByte = 0;
    if (!s.file.seek(kTotalSamples) || !s.file.getChar(&sharedByte)) return false;
    const std::uint64_t total = s.wholeFrames & ((std::uint64_t(1) << 36) - 1);
    std::array<char, 5 + 16> fields{};
    fields[0] = char((std::uint8_t(sharedByte) & 0xF0) | std::uint8_t(total >> 32));
    for (int i = 1; i < 5; ++i)
        fields[std::size_t(i)] = char(std::uint8_t(total >> (8 * (4 - i))));
    const QByteArray signature = s.md5.result();
    std::copy_n(signature.constData(), std::min<qsizetype>(signature.size(), 16),
                fields.begin() + 5);
    return s.file.seek(kTotalSamples) &&
           s.file.write(fields.data(), qint64(fields.size())) == qint64(fields.size());
}

}  // namespace kelvra::audio::record
