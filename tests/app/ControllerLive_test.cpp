// The real program played from a controller: a dummy JACK server of the test's own, a JACK MIDI
// client standing in for the controller, and the settings written before start-up so the
// program opens that controller's ports and a mapping file of the test's. The pads, faders and
// knobs are then played as MIDI and heard on kelvra:master_1/2, recorded by jack_rec; the play
// and pause lights come back to the controller. Skipped where a tool is not installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <vector>

#include "settings/IniSettingsStore.h"
#include "settings/SettingsKey.h"
#include "support/AudioFixtures.h"
#include "support/FileBytes.h"
#include "support/JackMidiClient.h"
#include "support/LiveRig.h"
#include "support/ToneFit.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;
constexpr double kBass = 60, kTreble = 3000;

// A controller that sends everything on channel 7 and its mixer on 16, decimal numbers, tabs,
// upper-case keywords and a light bound by a control change rather than a note.
const char kMapping[] =
    "# pads: channel 7\n"
    "NOTE\t7\t36\tplayCB2\n"
    "NOTE\t7\t37\tLpauseCB\n"
    "OUT\tNOTE\t7\t36\tplayCB2\t\t# the play pad lights while the deck plays\n"
    "OUT\tNOTE\t7\t37\tLpauseCB\n"
    "# knobs and faders\n"
    "CC\t7\t70\tLVolScroll\tABSOLUTE\n"
    "CC\t7\t74\tLeqLow\n"
    "CC\t16\t1\tcrossFaderScroll\n";

constexpr unsigned char kPadsNoteOn = 0x96, kPadsNoteOff = 0x86, kPadsCc = 0xB6, kMixerCc = 0xBF;
constexpr unsigned char kPlayPad = 36, kPausePad = 37;

class ControllerLive : public test::LiveRig {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(startJackRig("kelvra-live-midi", kRate, 2));
        if (IsSkipped()) return;
        pads = std::make_unique<test::JackMidiClient>("live-pads");
        ASSERT_TRUE(pads->ok() && pads->plugIn()) << "the controller's client did not open";
    }

    void TearDown() override {
        pads.reset();  // before its server goes
        LiveRig::TearDown();
    }

    // What the options would have remembered: this controller's ports and the mapping.
    void chooseController(const QString& mappingPath) {
        settings::IniSettingsStore store(dir.filePath("config"));
        const QString name = QString::fromStdString(pads->name());
        store.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, "MidiInputs",
                           name + ":out");
        store.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, "MidiOutputs",
                           name + ":in");
        store.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey,
                           "ControllerMapping", mappingPath);
    }

    // Plays `messages` `at` seconds after the clock started; JACK's time of the period they
    // went out in.
    jack_time_t playAt(double at, const std::vector<std::vector<unsigned char>>& messages) {
        const qint64 due = qint64(at * 1000) - clock.elapsed();
        if (due > 0) QThread::msleep(static_cast<unsigned long>(due));
        const jack_time_t before = pads->lastPlayedAt();
        EXPECT_TRUE(pads->play(messages));
        for (int i = 0; i < 200 && !(pads->idle() && pads->lastPlayedAt() != before); ++i)
            QThread::msleep(2);
        return pads->lastPlayedAt();
    }

    std::unique_ptr<test::JackMidiClient> pads;
};

// The amplitude of a tone of `hz` in one channel between two times, in 16-bit steps.
double level(const test::WavData& wav, int channel, double from, double to, double hz) {
    const std::size_t first = std::size_t(from * kRate), count = std::size_t((to - from) * kRate);
    if ((first + count) * std::size_t(wav.channels) > wav.samples.size()) return -1;
    std::vector<float> mono(count);
    for (std::size_t i = 0; i < count; ++i)
        mono[i] = wav.samples[(first + i) * std::size_t(wav.channels) + std::size_t(channel)];
    return test::fitTone(mono.data(), 1, 0, count, hz / kRate).amplitude;
}

TEST_F(ControllerLive, PadsAndFadersAreHeardOnTheMasterPortsAndTheLightsComeBack) {
    // A bass and a treble tone, so the low band's kill can be told from the whole deck going.
    std::vector<std::int16_t> two(std::size_t(kRate) * 60 * 2);
    for (std::size_t i = 0; i < two.size(); ++i)
        two[i] =
            std::int16_t(std::lrint(6000 * (std::sin(2 * M_PI * kBass * double(i / 2) / kRate) +
                                            std::sin(2 * M_PI * kTreble * double(i / 2) / kRate))));
    const QString song = dir.filePath("two tones.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), two, kRate, 2));
    // The options offer the mappings in the user's controllers folder; one remembered from
    // anywhere else is taken for gone.
    env.insert("XDG_CONFIG_HOME", dir.filePath("home/.config"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("home/.config/kelvra/controllers"));
    const QString mapping = dir.filePath("home/.config/kelvra/controllers/pads.map");
    test::writeFile(mapping, kMapping);
    chooseController(mapping);
    // The song on the command line starts playing on the left deck by itself.
    ASSERT_NO_FATAL_FAILURE(startProgram(song));

    const QString wavPath = dir.filePath("master.wav");
    ASSERT_NO_FATAL_FAILURE(startRecorder(wavPath, 9, {"master_1", "master_2"}));
    const jack_time_t paused =
        playAt(0.8, {{kPadsNoteOn, kPausePad, 100}, {kPadsNoteOff, kPausePad, 0}});
    const jack_time_t played =
        playAt(2.0, {{kPadsNoteOn, kPlayPad, 100}, {kPadsNoteOff, kPlayPad, 0}});
    // The volume fader meets the slider halfway, then goes down to silence, then back.
    playAt(3.2, {{kPadsCc, 70, 64}});
    playAt(3.25, {{kPadsCc, 70, 0}});
    playAt(4.5, {{kPadsCc, 70, 64}});
    // The low band's knob meets its slider in the middle and is turned right down.
    playAt(5.5, {{kPadsCc, 74, 64}});
    playAt(5.55, {{kPadsCc, 74, 0}});
    // The crossfader from the middle over to the right deck, which is empty.
    playAt(7.0, {{kMixerCc, 1, 64}});
    playAt(7.05, {{kMixerCc, 1, 127}});
    ASSERT_TRUE(recorder.waitForFinished(15000));

    test::WavData wav;
    ASSERT_TRUE(test::readWav(wavPath.toStdString(), wav));
    ASSERT_EQ(wav.channels, 2);
    ASSERT_GT(wav.samples.size(), std::size_t(8.6 * kRate * 2)) << "recorded too little";
    // The deck plays again once the play pad has gone through the MIDI thread, the UI thread
    // and a period of the server; on a loaded machine that takes a good part of a second. The
    // recording itself starts a little after the clock (the recorder still has to join the
    // server), so a pad sent at 2 s may be heard before 2 s of the recording. The later levels
    // are taken at the pads' times moved by where the sound came back.
    double back = 1.4;
    while (back < 3.0 && test::peakOf(wav, 0, back, back + 0.01) < 1000)
        back += 0.01;
    ASSERT_LT(back, 3.0) << "the play pad did not start the left deck again";
    const double shift = back - 2.0;
    const auto at = [shift](double seconds) { return seconds + shift; };
    const double bass = level(wav, 0, back + 0.05, at(3.15), kBass),
                 treble = level(wav, 0, back + 0.05, at(3.15), kTreble);
    EXPECT_NEAR(level(wav, 0, 0.1, 0.6, kTreble), treble, treble * 0.05)
        << "the command-line song was not playing before the pause pad";
    EXPECT_LT(test::peakOf(wav, 0, at(1.3), at(1.9)), 50) << "the pause pad left sound";
    ASSERT_GT(bass, 1000) << "the play pad did not start the left deck again";
    ASSERT_GT(treble, 1000);
    EXPECT_GT(level(wav, 1, at(2.4), at(3.1), kTreble), 1000) << "master_2 carries nothing";
    EXPECT_LT(test::peakOf(wav, 0, at(3.7), at(4.3)), 50)
        << "the volume fader at its bottom left sound";
    EXPECT_NEAR(level(wav, 0, at(4.9), at(5.4), kTreble), treble, treble * 0.05)
        << "the volume fader back halfway is not the level it was picked up at";
    // The low band is cut deep, the treble untouched.
    EXPECT_LT(level(wav, 0, at(6.0), at(6.8), kBass), bass / 30)
        << "the low band's kill left the bass";
    EXPECT_NEAR(level(wav, 0, at(6.0), at(6.8), kTreble), treble, treble * 0.05);
    EXPECT_LT(test::peakOf(wav, 0, at(7.6), at(8.5)), 50)
        << "the crossfader did not shut the left deck out";

    // The lights, in the order they came: play dark when the mapping was bound, lit once the
    // command-line song started; pause lit by the pause pad and dark again by the play pad.
    std::vector<std::pair<unsigned char, bool>> playLight, pauseLight;
    for (const test::JackMidiClient::Heard& heard : pads->heard()) {
        if (heard.message.status != kPadsNoteOn) continue;
        const bool lit = heard.message.data2 == 127;
        if (heard.message.data1 == kPlayPad) playLight.push_back({lit, heard.at >= paused});
        if (heard.message.data1 == kPausePad)
            pauseLight.push_back({lit, heard.at >= (lit ? paused : played)});
    }
    // A light sent again (to an output opened afresh) says the same: one entry for each change.
    for (auto* light : {&playLight, &pauseLight})
        light->erase(std::unique(light->begin(), light->end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     light->end());
    using Light = std::vector<std::pair<unsigned char, bool>>;
    EXPECT_EQ(playLight, (Light{{false, false}, {true, false}}))
        << "the play light did not follow the deck starting";
    EXPECT_EQ(pauseLight, (Light{{false, false}, {true, true}, {false, true}}))
        << "the pause light did not follow the pads";
}

}  // namespace
}  // namespace kelvra::app
