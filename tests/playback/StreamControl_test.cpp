#include "playback/StreamControl.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "audio/ErrorText.h"
#include "support/FileBytes.h"
#include "support/MockAudioLibrary.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::playback {
namespace {

using namespace audio;
using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

class StreamControlTest : public ::testing::Test {
  protected:
    StreamControlTest()
        : engine(library, dialogs, settings,
                 {[this] { return autoDJ; }, [this] { ++removePresses; },
                  [this](int key, int) { releasedKeys.push_back(key); }}) {}

    NiceMock<test::MockAudioLibrary> library;
    test::ScriptedDialogs dialogs;
    settings::EngineSettings settings;
    bool autoDJ = false;
    int removePresses = 0;
    std::vector<int> releasedKeys;
    StreamControl engine;
};

TEST_F(StreamControlTest, EveryFileIsOfferedToTheAddonSideFirst) {
    EXPECT_CALL(library, wmaStreamCreateFile("/music/a.mp3", 0u)).WillOnce(Return(5));
    EXPECT_CALL(library, streamCreateFile(_, _)).Times(0);
    EXPECT_EQ(engine.openStream("/music/a.mp3"), 5u);
    EXPECT_EQ(engine.streamKind(), kAddonStream);

    settings.streamFlags = kStreamAccurateSeek;
    EXPECT_CALL(library, wmaStreamCreateFile("/music/b.mp3", kStreamAccurateSeek))
        .WillOnce(Return(0));
    EXPECT_CALL(library, streamCreateFile("/music/b.mp3", kStreamAccurateSeek)).WillOnce(Return(7));
    EXPECT_CALL(library, streamPreBuf(7u)).WillOnce(Return(true));
    EXPECT_EQ(engine.openStream("/music/b.mp3"), 7u);
    EXPECT_EQ(engine.streamKind(), kMainStream);
    EXPECT_EQ(engine.kindOf(5), kAddonStream);
    EXPECT_EQ(engine.kindOf(7), kMainStream);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StreamControlTest, WrappersUseTheKindOfTheStreamTheyAreGiven) {
    ON_CALL(library, wmaStreamCreateFile("/m/a.wma", _)).WillByDefault(Return(5));
    ON_CALL(library, streamCreateFile("/m/b.mp3", _)).WillByDefault(Return(7));
    const Handle wma = engine.openStream("/m/a.wma");
    const Handle mp3 = engine.openStream("/m/b.mp3");

    EXPECT_CALL(library, wmaChannelSetPosition(wma, BytePosition{4000})).WillOnce(Return(true));
    EXPECT_CALL(library, channelSetPosition(mp3, BytePosition{1})).WillOnce(Return(false));
    EXPECT_CALL(library, streamPreBuf(mp3)).Times(1);
    EXPECT_EQ(engine.setStreamPosition(wma, 4000), 1);
    EXPECT_EQ(engine.setStreamPosition(mp3, 1), 0);
    EXPECT_EQ(engine.lastCallResult(), 0);

    EXPECT_CALL(library, wmaStreamPlay(wma)).Times(2).WillRepeatedly(Return(true));
    EXPECT_CALL(library, streamPlay(mp3, false, 0u)).WillOnce(Return(true));
    EXPECT_CALL(library, channelResume(mp3)).WillOnce(Return(true));
    EXPECT_EQ(engine.startStream(wma), 1);
    EXPECT_EQ(engine.resumeStream(wma), 1);
    EXPECT_EQ(engine.startStream(mp3), 1);
    EXPECT_EQ(engine.resumeStream(mp3), 1);

    EXPECT_CALL(library, wmaChannelPosition(wma)).WillOnce(Return(BytePosition{88200}));
    EXPECT_CALL(library, channelPosition(mp3)).WillOnce(Return((BytePosition{1} << 32) + 10));
    EXPECT_EQ(engine.getStreamPosition(wma), 88200u);
    EXPECT_EQ(engine.getStreamPosition(mp3), 10u);  // read back as a 32-bit value

    EXPECT_CALL(library, wmaStreamLength(wma)).WillOnce(Return(BytePosition{1000}));
    EXPECT_CALL(library, streamLength(mp3)).WillOnce(Return(BytePosition{2000}));
    EXPECT_EQ(engine.streamLength(wma), 1000u);
    EXPECT_EQ(engine.streamLength(mp3), 2000u);
}

TEST_F(StreamControlTest, FailedOpensAreSilentUnderAutoDJ) {
    autoDJ = true;
    EXPECT_EQ(engine.openStream("/nowhere/gone.mp3"), 0u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(removePresses, 0);
}

TEST_F(StreamControlTest, AnUnreadableExistingFileShowsTheLoadErrorWithTheCode) {
    QTemporaryDir folder;
    const QString path = folder.filePath("broken.mp3");
    test::writeFile(path, "not audio");
    ON_CALL(library, errorCode()).WillByDefault(Return(kErrorFormat));

    EXPECT_EQ(engine.openStream(path), 0u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Error");
    EXPECT_EQ(dialogs.messages[0].text,
              "The selected file could not be loaded. Please choose another file...\r\n\r\n"
              "Error Code : 6\r\n\r\n" +
                  path + "\r\nIt holds no audio Kelvra can play.");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(releasedKeys, (std::vector<int>{17, 18}));
}

TEST(OpenFailureDetail, NamesTheFileAndSaysWhyItCannotBeOpened) {
    QTemporaryDir folder;
    const auto reason = [](const QString& path, int code = kErrorFileOpen) {
        return openFailureDetail(path, code).section("\r\n", 1);
    };
    EXPECT_EQ(openFailureDetail(folder.filePath("gone.mp3"), kErrorFileOpen),
              folder.filePath("gone.mp3") + "\r\nIt does not exist.");
    EXPECT_EQ(reason(folder.path()), "It is a folder, not a song.");
    EXPECT_EQ(reason("/dev/null"), "It is a device or a pipe, not a file.");
    const QString empty = folder.filePath("empty.mp3");
    test::writeFile(empty, {});
    EXPECT_EQ(reason(empty), "The file is empty.");
    const QString song = folder.filePath("song.mp3");
    test::writeFile(song, "not audio at all");
    EXPECT_EQ(reason(song, kErrorFormat), "It holds no audio Kelvra can play.");
    EXPECT_EQ(reason(song, kErrorMemory), "Memory Error.");
    QFile::link(folder.filePath("nowhere.mp3"), folder.filePath("dangling.mp3"));
    EXPECT_EQ(reason(folder.filePath("dangling.mp3")),
              "It is a link to something that does not exist.");
    if (::geteuid() != 0) {  // root reads everything
        QFile(song).setPermissions(QFileDevice::WriteOwner);
        EXPECT_EQ(reason(song), "Kelvra is not allowed to read it.");
    }
}

TEST_F(StreamControlTest, AMissingFileOffersToRemoveItFromThePlaylist) {
    dialogs.answerNext(MessageResult::No);
    EXPECT_EQ(engine.openStream("/nowhere/gone.mp3"), 0u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "File Not Found");
    EXPECT_EQ(dialogs.messages[0].text,
              "The selected file can not be found at its original location.\r\rRemove from "
              "Playlist?\r\r/nowhere/gone.mp3\r\nIt does not exist.");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(removePresses, 0);

    dialogs.answerNext(MessageResult::Yes);
    EXPECT_EQ(engine.openStream("/nowhere/gone.mp3"), 0u);
    EXPECT_EQ(removePresses, 1);
}

TEST_F(StreamControlTest, OutputFailuresNameTheStepAndTheErrorText) {
    EXPECT_CALL(library, init(-1, 44100u, kInitKeepDeviceVolume)).WillOnce(Return(false));
    ON_CALL(library, errorCode()).WillByDefault(Return(28));  // a code without a text
    EXPECT_FALSE(engine.init_BASS());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Can't initialize digital sound system. \r\n\r\nError Code : 28");

    settings.outputDevice = 2;
    settings.outputRate = 22050;
    EXPECT_CALL(library, init(2, 22050u, kInitKeepDeviceVolume)).WillOnce(Return(true));
    EXPECT_CALL(library, start()).WillOnce(Return(false));
    ON_CALL(library, errorCode()).WillByDefault(Return(kErrorStart));
    EXPECT_FALSE(engine.init_BASS());
    EXPECT_EQ(dialogs.messages[1].text,
              "Can't start digital output. BASS_Start Has Not Been Successfully Called\r\n\r\n"
              "Error Code : 9");
}

TEST_F(StreamControlTest, PlayingMeansActiveAndNotPaused) {
    EXPECT_CALL(library, channelIsActive(1u)).WillRepeatedly(Return(kPlaying));
    EXPECT_CALL(library, channelIsActive(2u)).WillRepeatedly(Return(kPaused));
    EXPECT_CALL(library, channelIsActive(3u)).WillRepeatedly(Return(kStopped));
    EXPECT_CALL(library, channelIsActive(4u)).WillRepeatedly(Return(kStalled));
    EXPECT_EQ(isStreamPlaying(library, 1), 1);
    EXPECT_EQ(isStreamPlaying(library, 2), 0);
    EXPECT_EQ(isStreamPlaying(library, 3), 0);
    EXPECT_EQ(isStreamPlaying(library, 4), 1);
}

}  // namespace
}  // namespace kelvra::playback
