// A controller's messages played through a mapping in rendered sessions: a mapping written in a
// style of its own (hex numbers, CR LF ends, a 14-bit pitch, both encoder forms) drives play,
// cue, pitch, volume, crossfader, EQ and the jog on both decks, and a scratch follows a scripted
// wheel forward and back without a step the song itself does not have.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "controllers/MidiMapping.h"
#include "decks/DeckJog.h"
#include "session/SessionRunner.h"
#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/ToneFit.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

const char kMapping[] =
    "# Someone's two-deck controller: deck A on channel 1, deck B on 2, the mixer on 3\r\n"
    "note 1 0x0B playCB2\r\n"
    "note 1 0x0C cueCB2\r\n"
    "cc 1 0x00 LpitchScroll 14bit 0x20   # fine pitch on cc 32\r\n"
    "cc 1 0x13 LVolScroll\r\n"
    "cc 1 0x21 Ljog relative\r\n"
    "note 1 0x36 LjogTouch\r\n"
    "note 2 0x0B playCB\r\n"
    "cc 2 0x13 RvolScroll\r\n"
    "cc 2 0x1E ReqLow\r\n"
    "cc 2 0x21 Rjog relative64\r\n"
    "cc 3 0x08 crossFaderScroll\r\n";

class SessionController : public ::testing::Test {
  protected:
    // Renders `script` through the mapping; the left+right mono mix.
    std::vector<double> render(const QString& script, double seconds,
                               const std::function<void(HeadlessProgram&)>& atEachAction = {}) {
        HeadlessProgram program({kRate, dir.filePath("config"), {}});
        EXPECT_TRUE(program.start());
        EXPECT_TRUE(program.controller().load(controllers::parseMapping(kMapping)).empty());
        const SessionParse parse = parseSessionScript(script.toUtf8());
        EXPECT_EQ(parse.errorLine, 0) << parse.error.toStdString();
        std::vector<double> mono;
        const HeadlessProgram::Sink sink = [&](const std::int16_t* frames, std::int64_t count) {
            for (std::int64_t i = 0; i < count; ++i)
                mono.push_back(frames[2 * i] + frames[2 * i + 1]);
        };
        for (const SessionAction& action : parse.actions) {
            program.runUntil(action.ms, sink);
            EXPECT_EQ(applySessionAction(program, action), QString());
            if (atEachAction) atEachAction(program);
        }
        program.runUntil(std::llrint(seconds * 1000), sink);
        return mono;
    }
    double level(const std::vector<double>& mix, double from, double hz) const {
        const std::vector<float> mono(mix.begin(), mix.end());
        return test::fitTone(mono.data(), 1, std::size_t(from * kRate), kRate / 4, hz / kRate)
            .amplitude;
    }
    // The strongest of `tones` heard from `from` for a quarter of a second.
    double heard(const std::vector<double>& mix, double from, double lowHz, double highHz) const {
        double best = 0, hz = 0;
        for (double tone = lowHz; tone <= highHz; tone += 2)
            if (const double a = level(mix, from, tone); a > best) best = a, hz = tone;
        return hz;
    }

    // Rising zero crossings a second between two times: the mean frequency however it wavers.
    static double crossingRate(const std::vector<double>& x, double from, double to) {
        int crossings = 0;
        for (std::size_t i = std::size_t(from * kRate) + 1; i < std::size_t(to * kRate); ++i)
            if (x[i - 1] < 0 && x[i] >= 0) ++crossings;
        return crossings / (to - from);
    }
    static double rms(const std::vector<double>& x, double from, double to) {
        double sum = 0;
        for (std::size_t i = std::size_t(from * kRate); i < std::size_t(to * kRate); ++i)
            sum += x[i] * x[i];
        return std::sqrt(sum / ((to - from) * kRate));
    }

    QTemporaryDir dir;
};

TEST_F(SessionController, AMappingOfItsOwnStyleDrivesBothDecks) {
    const QString left = dir.filePath("left.wav"), right = dir.filePath("right.wav");
    ASSERT_TRUE(test::writeWav(left.toStdString(), test::sine(kRate, 2, 30, 1000, 0.3), kRate, 2));
    // The right deck: bass and a 3 kHz tone, so the low band's knob can be heard alone.
    std::vector<std::int16_t> two(std::size_t(30 * kRate) * 2);
    for (std::size_t i = 0; i < two.size() / 2; ++i)
        two[2 * i] = two[2 * i + 1] =
            std::int16_t(std::lrint(3277 * (std::sin(2 * M_PI * 60 * double(i) / kRate) +
                                            std::sin(2 * M_PI * 3000 * double(i) / kRate))));
    ASSERT_TRUE(test::writeWav(right.toStdString(), two, kRate, 2));
    double cueAt = -1, placeAt = -2;
    const std::vector<double> mix =
        render("0.2 load left " + left + "\n0.2 load right " + right +
                   "\n1 midi 9B 0B 7F\n1.05 midi 8B 0B 00\n"  // a note on channel 12 is no binding
                   "1 midi 90 0B 7F\n1.05 midi 80 0B 00\n"    // play A
                   // The pitch fader picks the slider up at its middle, then goes to the top:
                   // slower, as the top of the slider on the screen is.
                   "2 midi B0 00 40\n2 midi B0 20 00\n2.1 midi B0 00 7F\n2.1 midi B0 20 7F\n"
                   "3 midi B0 00 40\n3 midi B0 20 00\n"
                   // The volume fader picks the slider up halfway, goes down to silence and back.
                   "3.2 midi B0 13 40\n3.3 midi B0 13 00\n3.8 midi B0 13 40\n"
                   // Deck B plays; the crossfader jumps to its end at once, which soft takeover
                   // ignores, then sweeps there from the middle.
                   "4 midi 91 0B 7F\n4.05 midi 81 0B 00\n4.1 midi B2 08 7F\n"
                   "4.6 midi B2 08 40\n4.7 midi B2 08 7F\n"
                   // B's low band killed and back, after the knob has met the slider in the middle.
                   "5.4 midi B1 1E 40\n5.5 midi B1 1E 00\n6 midi B1 1E 40\n"
                   // A nudge on B's jog, offset-64: +6 ticks every 20 ms for a fifth of a second.
                   "6.5 midi B1 21 46\n6.52 midi B1 21 46\n6.54 midi B1 21 46\n6.56 midi B1 21 46\n"
                   "6.58 midi B1 21 46\n6.6 midi B1 21 46\n6.62 midi B1 21 46\n6.64 midi B1 21 46\n"
                   // Back to A, and a cue point set where it plays.
                   "7.5 midi B2 08 00\n8 midi 90 0C 7F\n8.05 midi 80 0C 00\n",
               9, [&](HeadlessProgram& program) {
                   if (program.clock().nowMs() != 8050) return;
                   app::MainWindow& w = program.window();
                   const decks::Deck& deck = w.deck(Side::Left);
                   audio::AudioLibrary& library = program.engine();
                   cueAt = library.channelBytes2Seconds(deck.stream(), deck.cuePoint());
                   placeAt = library.channelBytes2Seconds(
                       deck.stream(), w.engine().getStreamPosition(deck.stream()));
               });
    ASSERT_GT(mix.size(), std::size_t(8.8 * kRate));
    const double full = level(mix, 1.5, 1000);
    ASSERT_GT(full, 1000) << "play A did not play";
    EXPECT_LT(level(mix, 0.5, 1000), 10);
    // At the top of the pitch slider (-10 % at the default range) and back at the middle.
    EXPECT_NEAR(heard(mix, 2.5, 860, 1040), 900, 3);
    EXPECT_NEAR(heard(mix, 3.05, 860, 1040), 1000, 3);
    EXPECT_LT(level(mix, 3.45, 1000), full / 100) << "volume 0 left A heard";
    EXPECT_NEAR(level(mix, 3.9, 1000), full, full * 0.02);
    // The crossfader's jump did nothing; its sweep took A out and B in.
    EXPECT_NEAR(level(mix, 4.3, 1000), full, full * 0.02) << "a jumping fader took over";
    EXPECT_LT(level(mix, 5.0, 1000), full / 100);
    const double bass = level(mix, 5.0, 60), treble = level(mix, 5.0, 3000);
    ASSERT_GT(bass, 1000);
    EXPECT_LT(level(mix, 5.7, 60), bass / 100) << "the low band's knob at 0 left the bass";
    EXPECT_NEAR(level(mix, 5.7, 3000), treble, treble * 0.03);
    EXPECT_NEAR(level(mix, 6.2, 60), bass, bass * 0.03);
    // The nudge: 300 ticks a second speeds B up for a moment, then it is back at its pitch.
    EXPECT_GT(heard(mix, 6.55, 2900, 3300), 3060);
    EXPECT_NEAR(heard(mix, 7.1, 2900, 3300), 3000, 3);
    // The cue press put A's cue point where A was, with the crossfader back on it.
    EXPECT_NEAR(level(mix, 7.7, 1000), full, full * 0.02);
    EXPECT_GT(cueAt, 0);
    EXPECT_NEAR(cueAt, placeAt, 0.1);
}

TEST_F(SessionController, AScratchFollowsTheWheelForwardAndBackWithoutASpuriousStep) {
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 30, 500, 0.3), kRate, 2));
    // The wheel held on the resting deck, turned forward a tick every 20 ms for a second, held
    // still, turned back as far, and let go.
    QString script = "0.2 load left " + song + "\n1 midi 90 36 7F\n";
    for (int i = 0; i < 50; ++i)
        script += QString("%1 midi B0 21 01\n").arg(1.2 + i * 0.02, 0, 'f', 3);
    for (int i = 0; i < 50; ++i)
        script += QString("%1 midi B0 21 7F\n").arg(2.6 + i * 0.02, 0, 'f', 3);
    // Played at last: the scratch was as loud as the deck plays, though it never had before.
    script += "3.9 midi 80 36 00\n4.5 midi 90 0B 7F\n4.55 midi 80 0B 00\n";
    std::vector<std::pair<double, double>> positions;  // (program seconds, song seconds)
    const std::vector<double> mix = render(script, 5.5, [&](HeadlessProgram& program) {
        app::MainWindow& w = program.window();
        const decks::Deck& deck = w.deck(Side::Left);
        positions.emplace_back(program.clock().nowMs() / 1000.0,
                               program.engine().channelBytes2Seconds(
                                   deck.stream(), w.engine().getStreamPosition(deck.stream())));
    });
    const double tick = decks::DeckJog::kSecondsPerTick;
    // The needle is where the wheel put it, within its catching-up (about 12 ms of a turn).
    const auto at = [&](double when) {
        double best = -1;
        for (const auto& [time, where] : positions)
            if (std::abs(time - when) < 1e-6) best = where;
        return best;
    };
    EXPECT_NEAR(at(1.0), 0, 0.001);
    EXPECT_NEAR(at(2.6), 50 * tick, 0.002) << "forward";
    EXPECT_NEAR(at(3.9), 0, 0.002) << "and back";
    // Heard while moving, forward and back: a 500 Hz tone at 0.7 times its speed is 352 Hz.
    EXPECT_NEAR(crossingRate(mix, 1.5, 2.1), 500 * tick / 0.02, 3);
    EXPECT_NEAR(crossingRate(mix, 2.9, 3.5), 500 * tick / 0.02, 3);
    EXPECT_LT(rms(mix, 2.4, 2.55), rms(mix, 1.5, 2.1) / 30) << "a held wheel still sounds";
    EXPECT_LT(rms(mix, 4.2, 4.4), rms(mix, 1.5, 2.1) / 30) << "the resting deck played on";
    EXPECT_NEAR(rms(mix, 1.5, 2.1), rms(mix, 4.9, 5.4), rms(mix, 4.9, 5.4) * 0.06)
        << "the scratch of a deck never played was not at the deck's level";
    // No step anywhere beyond the song's own at its own speed, reversals and touches included.
    double own = 0;
    for (std::size_t i = std::size_t(1.6 * kRate); i < std::size_t(1.9 * kRate); ++i)
        own = std::max(own, std::abs(mix[i] - mix[i - 1]));
    double largest = 0;
    for (std::size_t i = 1; i < std::size_t(4.45 * kRate); ++i)
        largest = std::max(largest, std::abs(mix[i] - mix[i - 1]));
    ASSERT_GT(own, 0);
    EXPECT_LE(largest, 1.5 * own / (tick / 0.02));
}

// A mapping that is a pipe stops the run at once instead of waiting for a writer; any mapping
// that cannot be read is named once, with the reason, and nothing is rendered.
TEST_F(SessionController, AnUnreadableMappingStopsTheRunNamingItOnce) {
    QFile script(dir.filePath("set.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("1 end\n");
    script.close();
    const QString pipe = dir.filePath("pipe.map"), missing = dir.filePath("none.map");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString out = dir.filePath("out.wav");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVRA_CONFIG_DIR", dir.filePath("config"));
    for (const auto& [mapping, why] :
         {std::pair{pipe, "it is a folder, device or pipe, not a file"},
          {missing, "it does not exist"}}) {
        const test::CliRun run = test::runCli(
            {"session", script.fileName(), "--out", out, "--mapping", mapping}, environment);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "kelvra-cli: cannot read " + mapping + ": " + why + "\n");
        EXPECT_FALSE(QFile::exists(out));
    }
}

}  // namespace
}  // namespace kelvra::session
