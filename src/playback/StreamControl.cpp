#include "playback/StreamControl.h"

#include "audio/ErrorText.h"
#include "audio/Units.h"
#include "core/FileHelpers.h"
#include "core/PathBytes.h"

namespace kelvra::playback {

using namespace audio;
namespace {

constexpr int kKeyControl = 17;
constexpr int kKeyAlt = 18;

std::int16_t narrow(bool ok) {
    return ok ? 1 : 0;
}

}  // namespace

StreamControl::StreamControl(AudioLibrary& library, Dialogs& dialogs,
                             const EngineSettings& settings, Hooks hooks)
    : library_(library), dialogs_(dialogs), hooks_(std::move(hooks)), settings_(settings) {}

bool StreamControl::init_BASS() {
    // The output section's choices are what init() opens; it falls back to the plain device
    // (and says so) when they cannot be had.
    library_.configureOutput(settings_.output);
    if (!library_.init(settings_.outputDevice, static_cast<std::uint32_t>(settings_.outputRate),
                       kInitKeepDeviceVolume)) {
        ThrowError("Can't initialize digital sound system. " + errorText(library_.errorCode()));
        return false;
    }
    if (!library_.start()) {
        ThrowError("Can't start digital output. " + errorText(library_.errorCode()));
        return false;
    }
    return true;
}

Handle StreamControl::openStream(const QString& file) {
    const std::string path = pathToStdString(file);
    Handle handle = library_.wmaStreamCreateFile(path, settings_.streamFlags);
    // Handles are judged as signed numbers: a value with the top bit set is no stream.
    if (static_cast<std::int32_t>(handle) > 0) {
        streamKind_ = kAddonStream;
    } else {
        handle = library_.streamCreateFile(path, settings_.streamFlags);
        if (static_cast<std::int32_t>(handle) > 0)
            library_.streamPreBuf(handle);
        else
            handle = 0;
        streamKind_ = kMainStream;
    }
    if (handle != 0) {
        kinds_[handle] = streamKind_;
        return handle;
    }

    if (hooks_.autoDJOn && hooks_.autoDJOn()) return 0;
    // Both messages end with the file and the reason, after their own fixed text.
    const QString detail = openFailureDetail(file, library_.errorCode());
    if (fileExists(file)) {
        ThrowError("The selected file could not be loaded. Please choose another file...", detail);
        return 0;
    }
    // A bare carriage return pair, as the message has always been laid out.
    const MessageResult answer = dialogs_.message(
        "File Not Found",
        "The selected file can not be found at its original location.\r\rRemove from Playlist?"
        "\r\r" +
            detail,
        MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageResult::Yes && hooks_.removeFromPlaylist) hooks_.removeFromPlaylist();
    return 0;
}

void StreamControl::ThrowError(const QString& message, const QString& detail) {
    const int code = library_.errorCode();
    QString text = message + "\r\n\r\nError Code : " + QString::number(code);
    if (!detail.isEmpty()) text += "\r\n\r\n" + detail;
    dialogs_.message("Error", text, MessageButtons::Ok, MessageIcon::Critical);
    // Modifier keys held when the box opened never see their release; let them go.
    if (hooks_.keyReleased) {
        hooks_.keyReleased(kKeyControl, 0);
        hooks_.keyReleased(kKeyAlt, 0);
    }
}

void StreamControl::terminate_BASS(Handle leftStream, Handle rightStream) {
    library_.stop();
    library_.streamFree(leftStream);
    library_.streamFree(rightStream);
    library_.release();
    kinds_.clear();
}

void StreamControl::freeStream(Handle handle) {
    library_.wmaStreamFree(handle);
    library_.streamFree(handle);
    kinds_.erase(handle);
}

int StreamControl::kindOf(Handle handle) const {
    const auto found = kinds_.find(handle);
    return found == kinds_.end() ? kMainStream : found->second;
}

std::uint32_t StreamControl::getStreamPosition(Handle handle) {
    const BytePosition position = kindOf(handle) == kAddonStream
                                      ? library_.wmaChannelPosition(handle)
                                      : library_.channelPosition(handle);
    return low32(position);
}

std::int16_t StreamControl::setStreamPosition(Handle handle, std::uint32_t bytePosition) {
    if (kindOf(handle) == kAddonStream) {
        lastCallResult_ = narrow(setWmaPosition(library_, handle, bytePosition));
    } else {
        lastCallResult_ = narrow(setChannelPosition(library_, handle, bytePosition));
        library_.streamPreBuf(handle);
    }
    return lastCallResult_;
}

std::int16_t StreamControl::startStream(Handle handle) {
    lastCallResult_ =
        narrow(kindOf(handle) == kAddonStream ? library_.wmaStreamPlay(handle)
                                              : library_.streamPlay(handle, false, 0));
    return lastCallResult_;
}

std::int16_t StreamControl::resumeStream(Handle handle) {
    lastCallResult_ = narrow(kindOf(handle) == kAddonStream ? library_.wmaStreamPlay(handle)
                                                            : library_.channelResume(handle));
    return lastCallResult_;
}

std::uint32_t StreamControl::streamLength(Handle handle) {
    const BytePosition length = kindOf(handle) == kAddonStream ? library_.wmaStreamLength(handle)
                                                               : library_.streamLength(handle);
    return low32(length);
}

std::int16_t isStreamPlaying(AudioLibrary& library, Handle handle) {
    // Asked twice on purpose: the first answer says active at all, the second rules out paused.
    if (library.channelIsActive(handle) == kStopped) return 0;
    return library.channelIsActive(handle) == kPaused ? 0 : 1;
}

float bytesToSeconds(AudioLibrary& library, Handle handle, std::uint32_t bytes) {
    return library.channelBytes2Seconds(handle, BytePosition{bytes});
}

bool setChannelPosition(AudioLibrary& library, Handle handle, std::uint32_t bytes) {
    return library.channelSetPosition(handle, BytePosition{bytes});
}

bool setWmaPosition(AudioLibrary& library, Handle handle, std::uint32_t bytes) {
    return library.wmaChannelSetPosition(handle, BytePosition{bytes});
}

QString libraryVersionText(const AudioLibrary& library) {
    const std::uint32_t version = library.version();
    return QString::number(version & 0xFFFF) + '.' + QString::number(version >> 16);
}

}  // namespace kelvra::playback
