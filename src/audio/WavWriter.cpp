#include "audio/WavWriter.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace kelvra::audio {
namespace {

constexpr int kChannels = 2, kBytesPerSample = 2, kFrameBytes = kChannels * kBytesPerSample;
constexpr int kHeaderBytes = 44;

void little(char* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[i] = char((value >> (8 * i)) & 0xFF);
}

}  // namespace

WavWriter::WavWriter(const std::string& path, int rate)
    : WavWriter(std::make_unique<QSaveFile>(QFile::decodeName(QByteArray::fromStdString(path))),
                rate) {}

WavWriter::WavWriter(std::unique_ptr<QSaveFile> file, int rate, std::uint64_t maxDataBytes)
    : rate_(rate), maxDataBytes_(maxDataBytes / kFrameBytes * kFrameBytes), file_(std::move(file)) {
    // The file is written beside its name and put in its place when done: over a folder, a
    // device or a pipe that would replace what is no file at all, and is not ours to replace.
    const QFileInfo target(file_.fileName());
    if ((target.exists() || target.isSymLink()) && !target.isFile()) {
        failed_ = true;
        error_ = QStringLiteral("it is a folder, device or pipe, not a file");
        return;
    }
    // The sizes stay 0 until finish() knows them.
    char header[kHeaderBytes] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    little(header + 16, 16, 4);
    little(header + 20, 1, 2);  // PCM
    little(header + 22, kChannels, 2);
    little(header + 24, std::uint32_t(rate), 4);
    little(header + 28, std::uint32_t(rate * kFrameBytes), 4);
    little(header + 32, kFrameBytes, 2);
    little(header + 34, 8 * kBytesPerSample, 2);
    std::memcpy(header + 36, "data", 4);
    if (file_.open()) put(header, kHeaderBytes);
    failed_ = file_.failed();
}

// Without a successful finish(), the temporary file is removed and an older file stays.
WavWriter::~WavWriter() = default;

// Every write reaches the system as it is made (the save file is unbuffered), so the one the
// disk refuses fails here, with the disk's reason, and the temporary file goes at once.
bool WavWriter::put(const char* data, std::int64_t size) {
    if (failed_) return false;
    if (file_.write(data, size)) return true;
    failed_ = true;
    file_.cancel();
    return false;
}

bool WavWriter::write(const std::int16_t* stereo, std::int64_t frames) {
    if (!ok()) return false;
    const std::uint64_t room = (maxDataBytes_ - dataBytes_) / kFrameBytes;
    if (std::uint64_t(frames) > room) {
        full_ = true;
        frames = std::int64_t(room);
    }
    // Little-endian whatever the machine, a piece at a time rather than a byte at a time.
    bytes_.resize(std::size_t(frames) * kFrameBytes);
    for (std::size_t i = 0; i < std::size_t(frames) * kChannels; ++i) {
        const auto sample = std::uint16_t(stereo[i]);
        bytes_[2 * i] = char(sample & 0xFF);
        bytes_[2 * i + 1] = char(sample >> 8);
    }
    if (!put(bytes_.data(), std::int64_t(bytes_.size()))) return false;
    dataBytes_ += bytes_.size();
    return !full_;
}

bool WavWriter::finish() {
    if (failed_) return false;
    for (const auto& [at, value] : {std::pair{4, 36 + dataBytes_}, std::pair{40, dataBytes_}}) {
        char size[4];
        little(size, std::uint32_t(value), 4);
        if (!file_.seek(at) || !put(size, 4)) {
            failed_ = true;
            file_.cancel();
            return false;
        }
    }
    // Every byte to disk and checked before the file takes its name; a failure removes it.
    if (!file_.commit()) {
        failed_ = true;
        return false;
    }
    return true;
}

std::string WavWriter::failureText(const std::string& path) const {
    if (failed_) {
        const std::string reason = (error_.isEmpty() ? file_.reason() : error_).toStdString();
        return "cannot write " + path + (reason.empty() ? "" : ": " + reason);
    }
    const auto minutes = std::uint64_t(dataBytes_ / kFrameBytes / std::uint64_t(rate_) / 60);
    return path + ": a WAV file holds at most 4 GiB; it was cut after " +
           std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) +
           " min of audio at " + std::to_string(rate_) + " Hz";
}

}  // namespace kelvra::audio
