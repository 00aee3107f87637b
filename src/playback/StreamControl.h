// The procedures through which every deck operation reaches the audio library: opening the
// output, turning a song file into a stream, starting, resuming and positioning streams, and
// showing failures with the library's error code. Each stream's kind (add-on or main side) is
// kept here, so every wrapper uses the entry point of the stream it is given. These procedures
// are written in the library contract's terms (handles, byte positions, error codes); deck units
// that are not such procedures use the engine's door instead (audio/EngineDoor.h).
// Thread: UI thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "audio/AudioLibrary.h"
#include "core/Dialogs.h"
#include "settings/ProgramSettings.h"

namespace kelvra::playback {

using audio::AudioLibrary;
using audio::Handle;

std::int16_t isStreamPlaying(AudioLibrary& library, Handle handle);
float bytesToSeconds(AudioLibrary& library, Handle handle, std::uint32_t bytes);

// Which library side opened a stream; decides the entry points for length, position and start.
enum StreamKind : int { kAddonStream = 1, kMainStream = 2 };

using settings::EngineSettings;

class StreamControl {
  public:
    // What the engine needs from the windows around it.
    struct Hooks {
        std::function<bool()> autoDJOn;            // failed opens are silent under Auto-DJ
        std::function<void()> removeFromPlaylist;  // presses the playlist's remove button
        std::function<void(int keyCode, int shift)> keyReleased;  // the main window's key-up
    };

    // `settings` is the program's, read at every open (the seek flag may change while running).
    StreamControl(AudioLibrary& library, Dialogs& dialogs, const EngineSettings& settings,
                  Hooks hooks = {});

    AudioLibrary& library() { return library_; }
    const EngineSettings& settings() const { return settings_; }

    // Opens and starts the output. False after the failure has been shown: the program must end.
    bool init_BASS();
    // Opens a song: the add-on side first, then the main side. 0 on failure (already reported
    // unless Auto-DJ is on). Records the kind in streamKind().
    Handle openStream(const QString& file);
    // Throws nothing: shows a modal "Error" message box with `message`, the library's current
    // error code and `detail`, then releases Ctrl and Alt, and returns normally. The caller
    // goes on (or stops) by itself.
    void ThrowError(const QString& message, const QString& detail = {});
    // Stops the output, frees both deck streams and releases the library; never reports.
    void terminate_BASS(Handle leftStream, Handle rightStream);
    // Frees a deck's old stream on both sides, whatever its kind, as a loader does.
    void freeStream(Handle handle);

    std::uint32_t getStreamPosition(Handle handle);
    std::int16_t setStreamPosition(Handle handle, std::uint32_t bytePosition);
    std::int16_t startStream(Handle handle);
    std::int16_t resumeStream(Handle handle);
    // Length in bytes by the stream's kind.
    std::uint32_t streamLength(Handle handle);

    // The module functions below, on this contract.
    std::int16_t isStreamPlaying(Handle handle) {
        return playback::isStreamPlaying(library_, handle);
    }
    float bytesToSeconds(Handle handle, std::uint32_t bytes) {
        return playback::bytesToSeconds(library_, handle, bytes);
    }

    int streamKind() const { return streamKind_; }
    int kindOf(Handle handle) const;
    std::int16_t lastCallResult() const { return lastCallResult_; }

  private:
    AudioLibrary& library_;
    Dialogs& dialogs_;
    Hooks hooks_;
    const EngineSettings& settings_;
    int streamKind_ = kMainStream;
    std::int16_t lastCallResult_ = 0;
    std::unordered_map<Handle, int> kinds_;
};

// Module functions over the library.
std::int16_t isStreamPlaying(AudioLibrary& library, Handle handle);
float bytesToSeconds(AudioLibrary& library, Handle handle, std::uint32_t bytes);
bool setChannelPosition(AudioLibrary& library, Handle handle, std::uint32_t bytes);
bool setWmaPosition(AudioLibrary& library, Handle handle, std::uint32_t bytes);
// "major.minor" of the library's version: low word, a point, high word.
QString libraryVersionText(const AudioLibrary& library);

}  // namespace kelvra::playback
