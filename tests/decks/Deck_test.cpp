#include "decks/Deck.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "core/VirtualClock.h"
#include "support/FakeEngine.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::decks {
namespace {

using test::FakeEngine;

constexpr audio::BytePosition kSecond = 44100 * 4;  // bytes per second of 44.1 kHz stereo

// The window around the decks, reduced to what the decks ask of it.
class TestHost : public DeckHost, public PlaylistPort {
  public:
    Side activeDeck() const override { return active; }
    void setActiveDeck(Side side) override { active = side; }
    bool autoDJOn() const override { return autoDJ; }
    int mixScale() const override { return 100; }
    int deckPan() const override { return -100; }
    QString deckTitle(const QString& path) override { return "TITLE:  " + path.section('/', -1); }
    void setBusyPointer(bool) override {}
    void processEvents() override {}
    QString applicationTitle() const override { return "Kelvra"; }

    int playlistPosition() const override { return position; }
    int count() const override { return static_cast<int>(paths.size()); }
    QString pathAt(int index) const override { return paths.value(index); }
    void pressAdd() override {
        ++addPresses;
        added = toAdd;
        if (!toAdd.isEmpty()) {
            paths << toAdd;
            position = static_cast<int>(paths.size()) - 1;
        }
    }
    QString addedSongPath() const override { return added; }
    void selectEntry(int index) override { selected = index; }
    void advance() override { ++position; }

    Side active = Side::Left;
    bool autoDJ = false;
    int volumeRuns = 0, pitchRuns = 0, autoDJRuns = 0, addPresses = 0;
    QStringList paths;
    int position = 0;
    int selected = -1;
    QString toAdd, added;
};

class DeckTest : public ::testing::TestWithParam<Side> {
  protected:
    DeckTest()
        : engine(library, dialogs, settings, {[this] { return host.autoDJ; }, {}, {}}),
          left(Side::Left, leftControls, engine, library, dialogs, host, host, clock),
          right(Side::Right, rightControls, engine, library, dialogs, host, host, clock) {
        left.setOther(right);
        right.setOther(left);
        // The units around the decks, reduced to counting what the decks tell them.
        for (Deck* d : {&left, &right}) {
            d->events().pitchToApply.connect([this] { ++host.pitchRuns; });
            d->events().wantsNextSong.connect([this] { ++host.autoDJRuns; });
            d->events().levelsToApply.connect([this] { ++host.volumeRuns; });
        }
        library.addSong("/music/one.mp3", FakeEngine::mainSong(90 * kSecond));
        library.addSong("/music/two.wma", FakeEngine::addonSong(3725 * kSecond));
        library.addSong("/music/low.mp3", FakeEngine::mainSong(60 * kSecond / 2, 22050));
    }

    Deck& deck() { return GetParam() == Side::Left ? left : right; }
    Deck& otherDeck() { return GetParam() == Side::Left ? right : left; }
    DeckControls& controls() { return deck().controls(); }
    FakeEngine::Stream& stream() { return *library.stream(deck().stream()); }

    void load(const QString& path) {
        deck().setSongFile(path);
        deck().init_Player();
    }

    FakeEngine library;
    test::ScriptedDialogs dialogs;
    TestHost host;
    VirtualClock clock;
    settings::EngineSettings settings;
    playback::StreamControl engine;
    DeckControls leftControls{Side::Left};
    DeckControls rightControls{Side::Right};
    Deck left;
    Deck right;
};

TEST_P(DeckTest, ALoadShowsTheSongAndSetsUpTheDeck) {
    // Before any load, the play-previous-cue button shows its design colour on either side.
    EXPECT_EQ(controls().playCue.backColour(), kColourOff);
    EXPECT_EQ(otherDeck().controls().playCue.backColour(), kColourOff);
    controls().display.setLamp(DeckDisplayModel::Play, true);
    controls().display.setFurtherText("old");
    load("/music/one.mp3");

    EXPECT_EQ(host.activeDeck(), GetParam());
    EXPECT_EQ(controls().display.timeText(), "00:01:30");
    EXPECT_EQ(deck().songLength(), 90 * kSecond);
    EXPECT_EQ(deck().cuePoint(), 1u);
    EXPECT_EQ(controls().volume.value(), 50);
    EXPECT_EQ(stream().levels.pan, -100);
    EXPECT_EQ(controls().display.displayText(),
              "TITLE:  one.mp3          Kelvra - The Ultimate DJ Mix");
    // The title stands alone, large, whatever the rest of the line would scroll.
    EXPECT_EQ(controls().display.headlineTitle(), "one.mp3");
    EXPECT_EQ(controls().display.headlineArtist(), "");
    EXPECT_EQ(controls().display.elapsedText(), "00:00:00");
    EXPECT_FALSE(controls().display.lamp(DeckDisplayModel::Play));
    EXPECT_FALSE(controls().display.lamp(DeckDisplayModel::Busy));
    EXPECT_EQ(controls().display.furtherText(), "");
    EXPECT_EQ(controls().speed44.backColour(), kColourOn);
    EXPECT_EQ(controls().speed22.backColour(), kColourOff);

    load("/music/low.mp3");  // a lower rate lights the 22 kHz lamp of this deck only
    EXPECT_EQ(deck().sampleRate(), 22050);
    EXPECT_EQ(controls().speed22.backColour(), kColourOn);
    EXPECT_EQ(controls().speed44.backColour(), kColourOff);
    EXPECT_EQ(otherDeck().controls().speed22.backColour(), kColourNone);

    load("/music/two.wma");  // the add-on side's stream: its own length call
    EXPECT_EQ(controls().display.timeText(), "01:02:05");
    EXPECT_EQ(timeText(100 * 3600 + 59), "100:00:59");  // hours are never cut to two digits
}

TEST_P(DeckTest, PlayStartsAtTheCuePointAndASecondPlayJumpsBackToIt) {
    load("/music/one.mp3");
    deck().setCuePoint(10 * kSecond);
    controls().play.click();
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    EXPECT_TRUE(controls().display.lamp(DeckDisplayModel::Play));
    EXPECT_GE(host.volumeRuns, 1);

    library.advance(deck().stream(), 5 * kSecond);
    controls().play.click();
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
}

TEST_P(DeckTest, PauseThenPlayResumesWhereItWasEvenAfterALoad) {
    load("/music/one.mp3");
    controls().play.click();
    library.advance(deck().stream(), 7 * kSecond);
    controls().pause.click();
    EXPECT_TRUE(deck().paused());
    EXPECT_TRUE(controls().display.lamp(DeckDisplayModel::Pause));
    EXPECT_EQ(stream().state, audio::StreamState::Paused);
    controls().play.click();
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    // Resumed, not sent back to the cue point (byte 1, in the first frame).
    EXPECT_EQ(stream().bytes(), 7 * kSecond);
    EXPECT_FALSE(deck().paused());

    // A load into a paused deck keeps the mark: the next play takes the resume path.
    controls().pause.click();
    load("/music/low.mp3");
    EXPECT_TRUE(deck().paused());
    controls().play.click();
    EXPECT_FALSE(deck().paused());
    EXPECT_FALSE(controls().display.lamp(DeckDisplayModel::Pause));

    // Pausing a deck that is not playing does nothing.
    library.channelStop(deck().stream());
    controls().pause.click();
    EXPECT_FALSE(deck().paused());
}

// A controller's one transport button: on air it pauses where the song is, never sending it back
// to the cue; pressed again it resumes there; on a deck at rest it plays from the cue.
TEST_P(DeckTest, PlayPausePausesAPlayingDeckInPlaceAndResumesIt) {
    load("/music/one.mp3");
    deck().setCuePoint(10 * kSecond);
    controls().playPause.click();
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    library.advance(deck().stream(), 5 * kSecond);
    controls().playPause.click();
    EXPECT_EQ(stream().state, audio::StreamState::Paused);
    EXPECT_TRUE(deck().paused());
    EXPECT_EQ(stream().bytes(), 15 * kSecond);
    controls().playPause.click();
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_FALSE(deck().paused());
    EXPECT_EQ(stream().bytes(), 15 * kSecond);  // resumed there, not sent back to the cue
    EXPECT_EQ(decks::controlName(GetParam(), DeckControl::PlayPause),
              std::string(GetParam() == Side::Left ? "LplayPauseCB" : "playPauseCB"));
}

TEST_P(DeckTest, PlayOnAnEmptyDeckTakesTheNextSongOrAsksForFiles) {
    controls().play.click();  // empty playlist: the add dialog, cancelled
    EXPECT_EQ(host.addPresses, 1);
    EXPECT_EQ(deck().stream(), 0u);
    EXPECT_TRUE(deck().songFile().isEmpty());

    host.paths = {"/music/low.mp3", "/music/one.mp3"};
    host.position = 1;
    controls().play.click();
    EXPECT_EQ(deck().songFile(), "/music/one.mp3");
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
}

TEST_P(DeckTest, LoadFromFileClearsTheCueHistory) {
    deck().setCueHistory(5, 6);
    controls().playCue.setBackColour(kColourOn);
    host.toAdd = "/music/one.mp3";
    controls().openFile.click();
    EXPECT_EQ(deck().songFile(), "/music/one.mp3");
    EXPECT_EQ(host.selected, 0);
    EXPECT_EQ(deck().prevCue(), 0u);
    EXPECT_EQ(deck().olderCue(), 0u);
    EXPECT_EQ(controls().playCue.backColour(), kColourOff);
    EXPECT_NE(deck().stream(), 0u);
}

TEST_P(DeckTest, AFailedLoadWithAutoDJOffStillShowsTheSongAndStaysSilent) {
    dialogs.answerNext(MessageResult::No);
    load("/music/missing.mp3");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "File Not Found");
    EXPECT_EQ(deck().stream(), 0u);
    EXPECT_EQ(controls().display.timeText(), "00:00:00");
    EXPECT_TRUE(controls().display.displayText().startsWith("TITLE:  missing.mp3"));
    controls().play.click();  // nothing to play, nothing reported
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_P(DeckTest, UnderAutoDJAFailedLoadAsksForTheNextSongOnce) {
    host.autoDJ = true;
    otherDeck().setDeckEnding(true);
    load("/music/missing.mp3");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(deck().deckEnding());
    EXPECT_FALSE(otherDeck().deckEnding());
    EXPECT_EQ(host.autoDJRuns, 1);
    load("/music/missing-too.mp3");
    EXPECT_EQ(host.autoDJRuns, 1);  // already marked ending: not asked again
}

TEST_P(DeckTest, ARefusedStartIsReportedUnlessAutoDJIsOn) {
    load("/music/one.mp3");
    library.failStarts = true;
    controls().play.click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith("Can't play file. Please choose another file..."));
    host.autoDJ = true;
    controls().play.click();
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_P(DeckTest, TheDisplayFollowsPlaybackAndADraggedBarSeeks) {
    load("/music/one.mp3");
    controls().play.click();
    library.advance(deck().stream(), 30 * kSecond);
    deck().updateDisplay();
    deck().rememberShownProgress();
    EXPECT_EQ(controls().display.positionBar(), 33);  // 33.3 %
    EXPECT_EQ(controls().display.timeText(), "00:01:00");
    EXPECT_EQ(controls().display.elapsedText(), "00:00:30");

    controls().display.setPositionBar(50);  // the user drags the bar
    deck().updateDisplay();
    deck().rememberShownProgress();
    EXPECT_EQ(stream().bytes(), 45 * kSecond);
    EXPECT_EQ(controls().display.timeText(), "00:00:45");
    EXPECT_EQ(controls().display.elapsedText(), "00:00:45");

    library.advance(deck().stream(), 9 * kSecond);  // and it follows playback again
    deck().updateDisplay();
    EXPECT_EQ(controls().display.positionBar(), 60);
}

INSTANTIATE_TEST_SUITE_P(BothSides, DeckTest, ::testing::Values(Side::Left, Side::Right),
                         [](const auto& info) {
                             return info.param == Side::Left ? "Left" : "Right";
                         });

}  // namespace
}  // namespace kelvra::decks
