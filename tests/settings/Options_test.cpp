#include "settings/Options.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "settings/MemorySettingsStore.h"
#include "settings/SettingsKey.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::settings {
namespace {

class OptionsTest : public ::testing::Test {
  protected:
    Options makeOptions() {
        return Options(
            controls, store, dialogs, values, folder.path(),
            {[this](int n) -> std::optional<QString> {
                 if (n > devices.size()) return std::nullopt;
                 return devices[n - 1];
             },
             [this] { ++pitchApplied; },
             [this](int ms) { cueInterval = ms; },
             [this](int setup) { setups.push_back(setup); },
             [this] { ++displayApplied; },
             {[this](audio::OutputBackend backend) {
                  return backend == audio::OutputBackend::Jack ? QStringList{"system"} : devices;
              },
              [this] { applied.push_back(values.engine.output); }, [this] { return status; }},
             {}});
    }
    void storeValue(const QString& name, const QString& value) {
        store.writeSetting(Hive::LocalMachine, kSettingsKey, name, value);
    }
    QString stored(const QString& name) {
        return store.readSetting(Hive::LocalMachine, kSettingsKey, name);
    }

    QTemporaryDir folder;
    OptionsControls controls;
    MemorySettingsStore store;
    test::ScriptedDialogs dialogs;
    ProgramSettings values;
    QStringList devices{"Speakers", "USB Headphones"};
    int pitchApplied = 0;
    int displayApplied = 0;
    int cueInterval = 0;
    std::vector<int> setups;
    std::vector<audio::OutputSetup> applied;
    audio::OutputStatus status;
};

TEST_F(OptionsTest, AFirstStartTakesTheDefaultsAndClosingWritesThemAll) {
    values.engine.outputDevice = 3;  // whatever was there before
    Options options = makeOptions();
    options.load();

    EXPECT_EQ(controls.device.items(),
              (QStringList{"Default Sound Device", "Speakers", "USB Headphones"}));
    EXPECT_EQ(options.qualityText(), "FM Quality - 22100Hz");
    EXPECT_EQ(values.engine.outputRate, 22050);
    EXPECT_EQ(options.deviceText(), "Default Sound Device");
    EXPECT_EQ(values.engine.outputDevice, -1);
    EXPECT_EQ(values.engine.streamFlags, 0u);
    EXPECT_EQ(controls.seekAccuracy.currentIndex(), 0);
    EXPECT_EQ(controls.buffer.value(), 11);
    EXPECT_DOUBLE_EQ(values.engine.bufferSeconds, 1.1);
    EXPECT_DOUBLE_EQ(values.pitchRangeFactor, 1.0);
    EXPECT_EQ(values.turntableStopStep, 4000);
    EXPECT_EQ(values.AutomixStart, 85);
    EXPECT_EQ(controls.djSetup.currentText(), "Club DJ ");
    EXPECT_EQ(values.playlistPath, folder.path() + "/Playlists");
    EXPECT_TRUE(QDir(folder.path() + "/Playlists").exists());
    EXPECT_EQ(values.optStartUp, 1);
    EXPECT_EQ(values.cueSearchInterval, 80);
    EXPECT_EQ(pitchApplied, 1);
    EXPECT_TRUE(dialogs.messages.empty());

    options.unload();
    EXPECT_EQ(stored("optStartUp"), "1");
    EXPECT_EQ(stored("SeekAccuracy"), "0");
    EXPECT_EQ(stored("InitQuality"), "FM Quality - 22100Hz");
    EXPECT_EQ(stored("initDevice"), "Default Sound Device");
    EXPECT_EQ(stored("TurntableStopSpeed"), "4000");
    EXPECT_EQ(stored("pitchRange"), "1");
    EXPECT_EQ(stored("DjSetup"), "0");
    EXPECT_EQ(stored("AutomixStart"), "85");
    EXPECT_EQ(stored("Buffer"), "1.1");
    EXPECT_EQ(stored("playlistPath"), folder.path() + "/Playlists");
    EXPECT_EQ(cueInterval, 80);
    EXPECT_EQ(pitchApplied, 2);
}

TEST_F(OptionsTest, TheAutoDJFadeOptionsDefaultToThePlainFadeAndAreStored) {
    Options first = makeOptions();
    first.load();
    EXPECT_EQ(values.autoFadeSeconds, 5);
    EXPECT_FALSE(values.autoSkipSilence);
    EXPECT_EQ(controls.autoFade.value(), 5);
    EXPECT_EQ(controls.skipSilence.currentIndex(), 0);
    controls.autoFade.setValue(12);
    controls.skipSilence.choose(1);
    first.unload();
    EXPECT_EQ(stored("AutoFadeLength"), "12");
    EXPECT_EQ(stored("AutoSkipSilence"), "1");
    EXPECT_EQ(values.autoFadeSeconds, 12);
    EXPECT_TRUE(values.autoSkipSilence);

    storeValue("AutoFadeLength", "99");  // edited by hand: kept within the slider's range
    Options again = makeOptions();
    again.load();
    EXPECT_EQ(values.autoFadeSeconds, 30);
    EXPECT_TRUE(values.autoSkipSilence);
    EXPECT_EQ(controls.skipSilence.currentIndex(), 1);
}

TEST_F(OptionsTest, TheAnalysisCacheLimitDefaultsToAGigabyteAndStaysSensible) {
    Options first = makeOptions();
    first.load();
    EXPECT_EQ(values.analysisCacheMegabytes, 1024);
    first.unload();
    EXPECT_EQ(stored("AnalysisCacheLimitMB"), "1024");
    for (const auto& [text, megabytes] :
         {std::pair{"256", 256}, {"1", 16}, {"junk", 1024}, {"5000000", 1 << 20}}) {
        storeValue("AnalysisCacheLimitMB", text);
        Options again = makeOptions();
        again.load();
        EXPECT_EQ(values.analysisCacheMegabytes, megabytes) << text;
    }
}

// Values edited by hand into absurdity are brought into range before anything uses them, the DJ
// is told which, and the next close stores them sane.
TEST_F(OptionsTest, AbsurdStoredValuesAreResetIntoTheirRangeAndTold) {
    for (const auto& [name, text] : {std::pair{"SeekAccuracy", "-1"},
                                     {"TurntableStopSpeed", "-1000"},
                                     {"Buffer", "99"},
                                     {"AutomixStart", "40000"},
                                     {"DjSetup", "7"},
                                     {"pitchRange", "3"},
                                     {"optStartUp", "5"},
                                     {"AutoFadeLength", "-4"},
                                     {"AnalysisCacheLimitMB", "-1"},
                                     {"OutputBackend", "7"},
                                     {"OutputPeriod", "300"},
                                     {"AlsaOutputRate", "12345"}})
        storeValue(name, text);
    Options options = makeOptions();
    options.load();
    EXPECT_EQ(values.engine.streamFlags, 0u);
    EXPECT_EQ(values.turntableStopStep, 1000);
    EXPECT_EQ(controls.turntableStop.value(), 1000);
    EXPECT_DOUBLE_EQ(values.engine.bufferSeconds, 2.0);
    EXPECT_EQ(values.AutomixStart, 100);
    EXPECT_EQ(values.DjSetup, 0);
    EXPECT_EQ(values.pitchRangeFactor, 1.0);
    EXPECT_EQ(values.optStartUp, 1);
    EXPECT_EQ(values.autoFadeSeconds, 1);
    EXPECT_EQ(values.analysisCacheMegabytes, 16);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Kelvra Settings");
    EXPECT_EQ(dialogs.messages[0].text,
              "These stored settings were out of their range and have been reset: SeekAccuracy "
              "(-1, now 0), Buffer (99, now 2), pitchRange (3, now 1), TurntableStopSpeed "
              "(-1000, now 1000), AutomixStart (40000, now 100), DjSetup (7, now 0), optStartUp "
              "(5, now 1), AutoFadeLength (-4, now 1), AnalysisCacheLimitMB (-1, now 16), "
              "OutputBackend (7, now 0), OutputPeriod (300, now 256), AlsaOutputRate (12345, now "
              "0).");
    EXPECT_EQ(values.engine.output.backend, audio::OutputBackend::Default);
    EXPECT_EQ(values.engine.output.period, 256);
    options.unload();
    EXPECT_EQ(stored("SeekAccuracy"), "0");
    EXPECT_EQ(stored("TurntableStopSpeed"), "1000");

    // Sane values say nothing.
    Options again = makeOptions();
    again.load();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(values.turntableStopStep, 1000);
}

TEST_F(OptionsTest, DisplayOptionsHaveTheirDefaultsApplyAtOnceAndComeBack) {
    Options first = makeOptions();
    first.load();
    EXPECT_TRUE(values.showWaveforms);
    EXPECT_FALSE(values.matchLoudness);
    EXPECT_FALSE(values.showElapsed);
    EXPECT_FALSE(values.dockPlaylist);
    EXPECT_TRUE(controls.showWaveforms.isChecked());
    EXPECT_FALSE(controls.matchLoudness.isChecked());
    EXPECT_FALSE(controls.dockPlaylist.isChecked());

    // A click changes the program while the window is still open, not only on close.
    controls.matchLoudness.click();
    EXPECT_TRUE(values.matchLoudness);
    EXPECT_EQ(displayApplied, 1);
    controls.showWaveforms.click();
    EXPECT_FALSE(values.showWaveforms);
    EXPECT_EQ(displayApplied, 2);
    controls.showElapsed.click();
    controls.dockPlaylist.click();
    EXPECT_TRUE(values.showElapsed);
    EXPECT_TRUE(values.dockPlaylist);
    EXPECT_EQ(displayApplied, 4);
    first.unload();
    EXPECT_EQ(stored("ShowWaveforms"), "0");
    EXPECT_EQ(stored("MatchLoudness"), "1");
    EXPECT_EQ(stored("ShowElapsed"), "1");
    EXPECT_EQ(stored("DockPlaylist"), "1");

    controls.showElapsed.setValue(0);
    controls.dockPlaylist.setValue(0);
    Options again = makeOptions();
    again.load();
    EXPECT_FALSE(values.showWaveforms);
    EXPECT_TRUE(values.matchLoudness);
    EXPECT_TRUE(values.showElapsed);
    EXPECT_TRUE(values.dockPlaylist);
    EXPECT_FALSE(controls.showWaveforms.isChecked());
    EXPECT_TRUE(controls.dockPlaylist.isChecked());

    storeValue("ShowWaveforms", "junk");  // edited by hand: a value that is not 1 turns it off
    again.load();
    EXPECT_FALSE(values.showWaveforms);
}

TEST_F(OptionsTest, StoredValuesComeBackAndSurviveAClose) {
    storeValue("initQuality", "CD Quality - 44100Hz");
    storeValue("initDevice", "USB Headphones");
    storeValue("SeekAccuracy", "131072");
    storeValue("Buffer", "0.5");
    storeValue("pitchRange", "2");
    storeValue("TurntableStopSpeed", "6500");
    storeValue("AutomixStart", "72");
    storeValue("DjSetup", "2");
    storeValue("playlistPath", folder.path());
    storeValue("optStartUp", "0");
    Options options = makeOptions();
    options.load();

    EXPECT_EQ(values.engine.outputRate, 44100);
    EXPECT_EQ(values.engine.outputDevice, 1);  // the list position minus one
    EXPECT_EQ(controls.device.currentIndex(), 2);
    EXPECT_EQ(controls.seekAccuracy.currentIndex(), 1);
    EXPECT_EQ(controls.buffer.value(), 5);
    EXPECT_DOUBLE_EQ(values.pitchRangeFactor, 2.0);  // +-20 %, only reachable from the store
    EXPECT_EQ(controls.turntableStop.value(), 6500);
    EXPECT_EQ(controls.autoMix.value(), 72);
    EXPECT_EQ(controls.djSetup.currentIndex(), 2);
    EXPECT_EQ(values.optStartUp, 0);
    EXPECT_TRUE(dialogs.messages.empty());

    controls.autoMix.setValue(90);
    controls.seekAccuracy.choose(0);
    controls.quality.choose(1);
    controls.djSetup.choose(1);
    EXPECT_EQ(setups, std::vector<int>{1});
    options.unload();
    EXPECT_EQ(stored("pitchRange"), "2");
    EXPECT_EQ(stored("Buffer"), "0.5");
    EXPECT_EQ(stored("AutomixStart"), "90");
    EXPECT_EQ(stored("SeekAccuracy"), "0");
    EXPECT_EQ(stored("initQuality"), "FM Quality - 22100Hz");
    EXPECT_EQ(stored("DjSetup"), "1");
    // Device and quality take effect at the next start only.
    EXPECT_EQ(values.engine.outputRate, 44100);
}

// The output section: what a first start plays through, every pick applied at once and
// remembered, and a device that has gone replaced by the default.
TEST_F(OptionsTest, OutputChoicesApplyAtOnceAndComeBackAtTheNextStart) {
    storeValue("initDevice", "USB Headphones");  // the playback device chosen above
    {
        Options options = makeOptions();
        options.load();
        EXPECT_EQ(controls.outputBackend.currentText(), "PulseAudio/PipeWire");
        EXPECT_EQ(controls.outputMain.items(),
                  (QStringList{"Default Sound Device", "Speakers", "USB Headphones"}));
        EXPECT_EQ(controls.outputPhones.items(),
                  (QStringList{kPhonesShared, kPhonesChannels34, "Speakers", "USB Headphones"}));
        EXPECT_EQ(controls.outputPeriod.currentText(), "256 frames");
        const audio::OutputSetup& setup = values.engine.output;
        EXPECT_EQ(setup.device, 1);  // the default entry is the playback device above
        EXPECT_EQ(setup.phones, audio::PhonesRoute::Shared);
        EXPECT_EQ(setup.period, 256);
        EXPECT_DOUBLE_EQ(setup.latency, 0.055);  // a twentieth of the 1.1 s buffer
        EXPECT_TRUE(applied.empty()) << "loading changes nothing that plays";
        EXPECT_EQ(controls.outputLatency.text(), "Not playing yet");

        status = {"PulseAudio/PipeWire", 44100, 512, 0.0581, true};
        controls.outputPhones.choose(3);  // the USB headphones
        controls.outputPeriod.choose(3);
        EXPECT_EQ(controls.outputRate.currentText(), "As Quality");
        EXPECT_EQ(values.engine.output.rate, 0);
        controls.outputRate.choose(2);
        ASSERT_EQ(applied.size(), 3u);
        EXPECT_EQ(applied[2].rate, 48000);
        EXPECT_EQ(applied[1].phones, audio::PhonesRoute::Device);
        EXPECT_EQ(applied[1].phonesDevice, 1);
        EXPECT_EQ(applied[1].period, 512);
        EXPECT_EQ(controls.outputLatency.text(),
                  "PulseAudio/PipeWire: 58.1 ms latency, 44100 Hz, 512-frame periods, "
                  "headphones on their own output");

        // Another system lists its own devices and starts from its defaults.
        controls.outputBackend.choose(1);
        EXPECT_EQ(controls.outputMain.items(), (QStringList{"Default Sound Device", "system"}));
        EXPECT_EQ(controls.outputPhones.items(),
                  (QStringList{kPhonesJackPorts, kPhonesJackPlayback34}));
        EXPECT_EQ(applied.back().backend, audio::OutputBackend::Jack);
        EXPECT_EQ(applied.back().device, -1);
        EXPECT_EQ(applied.back().phones, audio::PhonesRoute::Shared);
        controls.outputPhones.choose(1);
        controls.outputBackend.choose(0);
        controls.outputPhones.choose(2);
        // A larger buffer asks for more output latency, but never past a tenth of a second.
        controls.buffer.setValue(20);
        options.unload();
        EXPECT_DOUBLE_EQ(applied.back().latency, 0.1);
    }
    applied.clear();
    controls.outputPhones.clear();
    Options again = makeOptions();
    again.load();
    EXPECT_EQ(values.engine.output.phones, audio::PhonesRoute::Device);
    EXPECT_EQ(values.engine.output.phonesDevice, 0);
    EXPECT_EQ(values.engine.output.period, 512);
    EXPECT_EQ(values.engine.output.rate, 48000);
    EXPECT_TRUE(applied.empty());

    // The headphone device has gone: the shared output, the rest as it was.
    devices = QStringList{"USB Headphones"};
    Options gone = makeOptions();
    gone.load();
    EXPECT_EQ(controls.outputPhones.currentText(), kPhonesShared);
    EXPECT_EQ(values.engine.output.phones, audio::PhonesRoute::Shared);
    EXPECT_EQ(values.engine.output.period, 512);
}

// What one sound system stored is never used by another: JACK's device names and PortAudio's
// period and rate are kept apart, and values stored before they were kept apart are PortAudio's.
TEST_F(OptionsTest, EachSoundSystemKeepsItsOwnOutputChoices) {
    for (const auto& [name, text] : {std::pair{"OutputBackend", "1"},
                                     {"OutputDevice", "USB Headphones"},
                                     {"PhonesOutput", "Speakers"},
                                     {"OutputPeriod", "512"},
                                     {"OutputRate", "48000"}})
        storeValue(name, text);
    {
        Options options = makeOptions();
        options.load();
        const audio::OutputSetup& setup = values.engine.output;
        EXPECT_EQ(setup.backend, audio::OutputBackend::Jack);
        EXPECT_EQ(controls.outputMain.currentText(), "Default Sound Device");
        EXPECT_EQ(controls.outputPhones.currentText(), kPhonesJackPorts);
        EXPECT_EQ(setup.period, 256);
        EXPECT_EQ(setup.rate, 0);
        controls.outputMain.choose(1);  // "system"
        controls.outputPhones.choose(1);
        // Back to PortAudio within the window: its own choices, and JACK's once more after.
        controls.outputBackend.choose(0);
        EXPECT_EQ(controls.outputMain.currentText(), "USB Headphones");
        EXPECT_EQ(controls.outputPhones.currentText(), "Speakers");
        EXPECT_EQ(applied.back().period, 512);
        EXPECT_EQ(applied.back().rate, 48000);
        controls.outputBackend.choose(1);
        EXPECT_EQ(controls.outputMain.currentText(), "system");
        EXPECT_EQ(controls.outputPhones.currentText(), kPhonesJackPlayback34);
        EXPECT_EQ(applied.back().period, 256);
        options.unload();
    }
    EXPECT_EQ(stored("OutputBackend"), "1");
    EXPECT_EQ(stored("JackOutputDevice"), "system");
    EXPECT_EQ(stored("JackPhonesOutput"), kPhonesJackPlayback34);
    EXPECT_EQ(stored("OutputDevice"), "USB Headphones");
    EXPECT_EQ(stored("PhonesOutput"), "Speakers");
    EXPECT_EQ(stored("OutputPeriod"), "512");
    EXPECT_EQ(stored("OutputRate"), "48000");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(OptionsTest, AStoredDeviceThatIsGoneChoosesNothing) {
    storeValue("initDevice", "Old Card");
    values.engine.outputDevice = 0;
    Options options = makeOptions();
    options.load();
    EXPECT_EQ(controls.device.currentIndex(), -1);
    EXPECT_EQ(values.engine.outputDevice, 0);
    options.unload();
    EXPECT_EQ(stored("initDevice"), "Old Card");
}

TEST_F(OptionsTest, AMissingPlaylistFolderIsOfferedForCreation) {
    const QString stored = folder.path() + "/Stored";
    QDir().mkdir(stored);
    storeValue("playlistPath", stored);
    Options options = makeOptions();
    options.load();
    ASSERT_TRUE(dialogs.messages.empty());

    // Yes creates it; the typed path stays.
    controls.playlistPath.edit(folder.path() + "/New");
    dialogs.answerNext(MessageResult::Yes);
    controls.playlistPath.leave();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Path Not Found...");
    EXPECT_EQ(dialogs.messages[0].text,
              "The Playlist directory was not found. Do you want to create it?");
    EXPECT_TRUE(QDir(folder.path() + "/New").exists());
    EXPECT_EQ(controls.playlistPath.text(), folder.path() + "/New");

    // No on a typed folder other than the stored one puts the stored one back.
    controls.playlistPath.edit(folder.path() + "/Other");
    dialogs.answerNext(MessageResult::No);
    controls.playlistPath.leave();
    EXPECT_EQ(controls.playlistPath.text(), stored);

    // A path ending with the separator counts as missing even though it exists; creating it
    // fails and the stored folder comes back with the error.
    controls.playlistPath.edit(folder.path() + "/New/");
    dialogs.answerNext(MessageResult::Yes);
    controls.playlistPath.leave();
    ASSERT_EQ(dialogs.messages.size(), 4u);
    EXPECT_EQ(dialogs.messages[3].title, "Path Error...");
    EXPECT_EQ(controls.playlistPath.text(), stored);

    // No on the stored folder itself (removed meanwhile) falls back to the default folder.
    QDir(stored).removeRecursively();
    dialogs.answerNext(MessageResult::No);
    controls.playlistPath.leave();
    EXPECT_EQ(controls.playlistPath.text(), folder.path() + "/Playlists");
}

}  // namespace
}  // namespace kelvra::settings
