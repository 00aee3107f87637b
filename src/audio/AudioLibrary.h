// The audio library contract: decoding, output, attributes, levels and tag blocks, one operation
// per library function the program relies on, in the byte positions, handles and numeric error
// codes the start-up, loader, play, cue and mixer procedures are written in. Its stream
// operations are a thin adapter over the engine's door (LibraryOverDoor.h); the deck units
// that are not such procedures use the door itself.
//
// Threads: every operation is called from one controlling thread at a time (the UI thread in the
// program, the main thread in the command-line tool). Implementations keep their own audio and
// decoding threads away from the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/EngineDoor.h"
#include "audio/OutputSetup.h"

namespace kelvra::audio {

// The library's error codes (texts in errorText()).
enum ErrorCode : int {
    kErrorUnknown = -1,
    kErrorOk = 0,
    kErrorMemory = 1,
    kErrorFileOpen = 2,
    kErrorDriver = 3,
    kErrorBufferLost = 4,
    kErrorHandle = 5,
    kErrorFormat = 6,
    kErrorPosition = 7,
    kErrorInit = 8,
    kErrorStart = 9,
    kErrorAlready = 14,
    kErrorNotPaused = 16,
    kErrorNoChannel = 18,
    kErrorIllegalType = 19,
    kErrorIllegalParam = 20,
    kErrorDevice = 23,
    kErrorNotPlaying = 24,
    kErrorFrequency = 25,
    kErrorNotFile = 27,
    kErrorCreate = 33,
    kErrorPlaying = 35,
    kErrorNotAvailable = 37,
    kErrorDecode = 38,
};

// Flags.
inline constexpr std::uint32_t kInitKeepDeviceVolume = 32;  // init(): leave the device volume alone
inline constexpr std::uint32_t kStreamTagsOnly =
    65536;  // open only to read tags: cheap, no playback
inline constexpr std::uint32_t kStreamAccurateSeek = 131072;

// channelIsActive() answers.
enum Activity : int { kStopped = 0, kPlaying = 1, kStalled = 2, kPaused = 3 };

// Values that leave an attribute unchanged in channelSetAttributes().
inline constexpr int kKeepRate = -1;
inline constexpr int kKeepVolume = -1;
inline constexpr int kKeepPan = -101;

// The engine's contract version: major in the low word, minor in the high word (1.6).
inline constexpr std::uint32_t kContractVersion = (6u << 16) | 1u;

// Full scale of channelLevel() per channel.
inline constexpr std::uint32_t kLevelFullScale = 32768;

// What the output has lost since it opened: each is a moment the DJ may have heard a gap.
struct DropoutCounts {
    std::uint64_t underruns = 0;      // periods the output could not deliver in time
    std::uint64_t lateCallbacks = 0;  // device periods that came after their deadline
    std::uint64_t starvedFrames = 0;  // frames played as silence because decoding lagged
    bool operator==(const DropoutCounts&) const = default;
};

// How a recording of the main mix goes (recordStart()). Frames are at the mix's rate.
struct RecordingStatus {
    bool active = false;  // started and not yet stopped
    bool failed = false;  // the file could not be written: it keeps what was recorded before
    std::string message;  // why it failed (or could not start), for the DJ
    int rate = 0;
    std::uint64_t frames = 0;      // in the recording so far: its length is frames / rate
    std::uint64_t bytes = 0;       // written to the file so far
    std::uint64_t lostFrames = 0;  // the writer fell behind the mix and these are missing
};

struct Attributes {
    int rate = 0;    // playback rate in Hz
    int volume = 0;  // 0..100, linear gain
    int pan = 0;     // -100..100
};

class AudioLibrary {
  public:
    virtual ~AudioLibrary() = default;

    // Output. `device` is -1 for the system default, otherwise the device described by
    // deviceDescription(device + 1). Returns false and sets the error code on failure.
    virtual bool init(int device, std::uint32_t rate, std::uint32_t flags) = 0;
    virtual bool start() = 0;
    virtual bool stop() = 0;
    virtual void release() = 0;  // frees every stream and closes the output
    // How far decoding runs ahead of playback for streams opened later: 0.2 to 2.0 seconds.
    virtual void setBufferLength(float seconds) = 0;
    virtual int errorCode() const = 0;  // code of the last failure
    virtual std::uint32_t version() const = 0;
    // Description of output device `device` (1 and up), or none when there is no such device.
    virtual std::optional<std::string> deviceDescription(int device) = 0;

    // Streams. Paths are UTF-8. The main side opens everything but ASF content (kind 2); the
    // add-on side opens ASF content only, decided by content, never by name (kind 1).
    virtual Handle streamCreateFile(const std::string& path, std::uint32_t flags) = 0;
    virtual Handle wmaStreamCreateFile(const std::string& path, std::uint32_t flags) = 0;
    virtual bool streamPreBuf(Handle handle) = 0;
    // Plays from the current position (from a pause too).
    virtual bool streamPlay(Handle handle, bool flush, std::uint32_t flags) = 0;
    virtual bool channelResume(Handle handle) = 0;
    virtual bool channelPause(Handle handle) = 0;
    virtual bool channelStop(Handle handle) = 0;
    // Freeing 0 or a freed handle is harmless.
    virtual bool streamFree(Handle handle) = 0;

    virtual BytePosition streamLength(Handle handle) = 0;
    virtual BytePosition channelPosition(Handle handle) = 0;
    // Playback goes on exactly at `position` (rounded down to a whole frame).
    virtual bool channelSetPosition(Handle handle, BytePosition position) = 0;

    // The add-on side's twins. Once a stream is open the engine serves both sides alike, so each
    // twin is its main-side call; they stay apart only so the procedures can name the entry
    // point a stream's kind asks for.
    virtual bool wmaStreamPlay(Handle handle) { return streamPlay(handle, false, 0); }
    virtual bool wmaStreamFree(Handle handle) { return streamFree(handle); }
    virtual BytePosition wmaStreamLength(Handle handle) { return streamLength(handle); }
    virtual BytePosition wmaChannelPosition(Handle handle) { return channelPosition(handle); }
    virtual bool wmaChannelSetPosition(Handle handle, BytePosition position) {
        return channelSetPosition(handle, position);
    }
    virtual std::string_view wmaStreamTags(Handle handle) { return streamTags(handle); }
    virtual float channelBytes2Seconds(Handle handle, BytePosition bytes) = 0;
    virtual int channelIsActive(Handle handle) = 0;  // an Activity
    virtual std::optional<Attributes> channelAttributes(Handle handle) = 0;
    // rate 100..100000 Hz, volume 0..100, pan -100..100; kKeep* values leave one unchanged.
    virtual bool channelSetAttributes(Handle handle, int rate, int volume, int pan) = 0;
    // Loops, key lock, scratching, tone, gain correction and warm places are not part of the
    // contract: the deck units reach them through the engine's door.
    // Peak of the last ~20 ms per channel, 0..kLevelFullScale: left in the low word, right in
    // the high word; 0 when the stream is not playing. It is the stream's own signal (with its
    // gain correction), before the volume and pan set by channelSetAttributes(): the meters
    // apply the mixer's gains.
    virtual std::uint32_t channelLevel(Handle handle) = 0;
    // Where the output goes. Before init() it only sets what init() opens; afterwards it moves
    // the playing mix there at once. When that cannot open, the mix goes on through the default
    // output and takeOutputNotice() says why; false then.
    virtual bool configureOutput(const OutputSetup& /*setup*/) { return false; }
    virtual OutputStatus outputStatus() const { return {}; }
    // Output devices of a back end, in the order OutputSetup counts them.
    virtual std::vector<std::string> outputDevices(OutputBackend /*backend*/) { return {}; }
    // A headphone output of its own is open: the mixer then sends the main mix in stereo and the
    // cue to the headphones, instead of sharing one stereo output between them.
    virtual bool phonesOutput() const { return false; }
    // A stream's level in the headphones, 0..100, before its volume and pan.
    virtual bool channelSetCue(Handle /*handle*/, int /*level*/) { return false; }
    // The headphone output: `level` 0..100 over all of it, `mix` 0..100 from the cue alone to the
    // main mix alone; `split` gives the cue in mono on the left and the main mix on the right.
    virtual void setPhonesMix(int /*level*/, int /*mix*/, bool /*split*/) {}

    // Housekeeping for the window's display tick: streams that played to their end are stopped
    // and freed streams let go. Queries never do it themselves.
    virtual void service() {}
    // A word for the DJ about the output, given once: it went away and the mix went on through
    // another. Empty when there is none.
    virtual std::string takeOutputNotice() { return {}; }
    // Dropouts since the output opened; any thread may ask.
    virtual DropoutCounts dropouts() const { return {}; }

    // Recording of the main mix into a FLAC file at `path`: 16-bit stereo at the output's rate,
    // from the next period on, while the output plays on as before. False when it cannot
    // start; recordStatus() then says why.
    virtual bool recordStart(const std::string& /*path*/) { return false; }
    // Ends the recording: what is still on its way is written and the file completed. Returns
    // the recording's final status.
    virtual RecordingStatus recordStop() { return recordStatus(); }
    // A failed recording has ended by itself; it still wants recordStop() to let go of it.
    virtual RecordingStatus recordStatus() const { return {}; }

    // Tag blocks, valid until the stream is freed; empty when there are none.
    // Main side: the file's 128-byte ID3v1 block, raw. Add-on side (read through the twin
    // wmaStreamTags): "name:value" texts in UTF-8, each ended by a NUL, the list ended by an
    // empty text (a second NUL). Attributes with empty values are left out.
    virtual std::string_view streamTags(Handle handle) = 0;
};

}  // namespace kelvra::audio
