// One recording's FLAC file: 16-bit stereo through libFLAC's stream encoder, written through
// callbacks on a file this class owns, so that it always knows where the last whole frame ends.
// When a write fails (a full disk) the file is cut back there and its header completed in place,
// which needs no more room: what was recorded stays a valid file.
// Threads: one thread at a time (the recording's writer once it runs).
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace kelvra::audio::record {

class FlacFile {
  public:
    FlacFile();
    ~FlacFile();  // an unfinished file is finished
    FlacFile(const FlacFile&) = delete;
    FlacFile& operator=(const FlacFile&) = delete;

    // Creates `path`, which must not exist yet (nothing of that name is ever emptied or
    // replaced), and writes the stream's header. False, with message() saying why, when it
    // cannot: then no file is left behind.
    bool open(const QString& path, int rate);
    // Encodes `frames` interleaved stereo frames. False once writing has failed: the file then
    // holds the whole frames written before, with a header that says so, and is closed.
    bool write(const std::int16_t* stereo, std::size_t frames);
    // Encodes what is still buffered and completes the header. False when that failed (the file
    // is then kept as far as it got, as write() keeps it).
    bool finish();

    bool isOpen() const;
    // What the file holds: its bytes up to the last whole frame, and the frames in them.
    std::uint64_t bytes() const;
    std::uint64_t frames() const;
    // Why open(), write() or finish() failed, for a person: the file and the reason.
    const QString& message() const { return message_; }

    struct State;  // the file and the encoder, which the encoder's callbacks reach as well

  private:
    void fail();
    bool repair();

    std::unique_ptr<State> state_;
    QString message_;
};

}  // namespace kelvra::audio::record
