// A gmock stand-in for the audio library, for tests of the code above it.
#pragma once

#include <gmock/gmock.h>

#include "audio/AudioLibrary.h"

namespace kelvra::test {

class MockAudioLibrary : public audio::AudioLibrary {
  public:
    MOCK_METHOD(bool, init, (int device, std::uint32_t rate, std::uint32_t flags), (override));
    MOCK_METHOD(bool, start, (), (override));
    MOCK_METHOD(bool, stop, (), (override));
    MOCK_METHOD(void, release, (), (override));
    MOCK_METHOD(void, setBufferLength, (float seconds), (override));
    MOCK_METHOD(int, errorCode, (), (const, override));
    MOCK_METHOD(std::uint32_t, version, (), (const, override));
    MOCK_METHOD(std::optional<std::string>, deviceDescription, (int device), (override));
    MOCK_METHOD(audio::Handle, streamCreateFile, (const std::string& path, std::uint32_t flags),
                (override));
    MOCK_METHOD(audio::Handle, wmaStreamCreateFile, (const std::string& path, std::uint32_t flags),
                (override));
    MOCK_METHOD(bool, streamPreBuf, (audio::Handle), (override));
    MOCK_METHOD(bool, streamPlay, (audio::Handle, bool flush, std::uint32_t flags), (override));
    MOCK_METHOD(bool, wmaStreamPlay, (audio::Handle), (override));
    MOCK_METHOD(bool, channelResume, (audio::Handle), (override));
    MOCK_METHOD(bool, channelPause, (audio::Handle), (override));
    MOCK_METHOD(bool, channelStop, (audio::Handle), (override));
    MOCK_METHOD(bool, streamFree, (audio::Handle), (override));
    MOCK_METHOD(bool, wmaStreamFree, (audio::Handle), (override));
    MOCK_METHOD(audio::BytePosition, streamLength, (audio::Handle), (override));
    MOCK_METHOD(audio::BytePosition, wmaStreamLength, (audio::Handle), (override));
    MOCK_METHOD(audio::BytePosition, channelPosition, (audio::Handle), (override));
    MOCK_METHOD(audio::BytePosition, wmaChannelPosition, (audio::Handle), (override));
    MOCK_METHOD(bool, channelSetPosition, (audio::Handle, audio::BytePosition), (override));
    MOCK_METHOD(bool, wmaChannelSetPosition, (audio::Handle, audio::BytePosition), (override));
    MOCK_METHOD(float, channelBytes2Seconds, (audio::Handle, audio::BytePosition), (override));
    MOCK_METHOD(int, channelIsActive, (audio::Handle), (override));
    MOCK_METHOD(std::optional<audio::Attributes>, channelAttributes, (audio::Handle), (override));
    MOCK_METHOD(bool, channelSetAttributes, (audio::Handle, int rate, int volume, int pan),
                (override));
    MOCK_METHOD(std::uint32_t, channelLevel, (audio::Handle), (override));
    MOCK_METHOD(std::string_view, streamTags, (audio::Handle), (override));
    MOCK_METHOD(std::string_view, wmaStreamTags, (audio::Handle), (override));
};

}  // namespace kelvra::test
