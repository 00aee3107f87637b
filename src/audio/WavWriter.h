// Writes the offline renderer's output: a 16-bit stereo PCM WAV file, streamed in pieces. The
// file is written under a temporary name beside its own and takes its name only once finish()
// has filled in the sizes and every byte is known to be on disk, so a failed render leaves no
// half file behind and an older file of that name as it was.
// Threads: one thread at a time.
#pragma once

#include <QSaveFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/SaveFile.h"

namespace kelvra::audio {

class WavWriter {
  public:
    // The most audio a WAV file can hold: its sizes are 32-bit. Whole frames only.
    static constexpr std::uint64_t kMaxDataBytes = (0xFFFFFFFFull - 36) / 4 * 4;

    // `path` as the command line gave it, in the file system's encoding.
    WavWriter(const std::string& path, int rate);
    // Over a save file of the caller's, not yet opened; `maxDataBytes` caps the audio below the
    // format's own limit.
    WavWriter(std::unique_ptr<QSaveFile> file, int rate,
              std::uint64_t maxDataBytes = kMaxDataBytes);
    ~WavWriter();  // without a successful finish(), the temporary file is removed

    bool ok() const { return !failed_ && !full_; }
    // False on a write error, or once the file is full: then the frames that fit are kept and
    // the rest dropped (full()).
    bool write(const std::int16_t* stereo, std::int64_t frames);
    bool full() const { return full_; }
    // Fills in the sizes and puts the file in place. False when anything failed on the way; then
    // nothing is left behind. A full file is put in place with the audio that fitted.
    bool finish();
    // Why finish() failed, or what a full file holds, for a person: the file named, and the
    // reason (the system's, or how long a mix fits in the format).
    std::string failureText(const std::string& path) const;
    std::uint64_t dataBytes() const { return dataBytes_; }

  private:
    bool put(const char* data, std::int64_t size);

    int rate_;
    std::uint64_t maxDataBytes_;
    CheckedSaveFile file_;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
    bool full_ = false;
    QString error_;
    std::vector<char> bytes_;
};

}  // namespace kelvra::audio
