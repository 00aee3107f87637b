#include "decks/Deck.h"

#include <array>
#include <limits>

#include "core/Rounding.h"
#include "core/Version.h"
#include "decks/DeckPlaces.h"
#include "tags/DisplayText.h"

namespace kelvra::decks {
namespace {

constexpr int kCueSearchInterval = 80;
constexpr int kTurntableStopInterval = 30;
const QString kTenSpaces(10, u' ');

}  // namespace

QString timeText(std::int64_t seconds) {
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QChar(u'0')); };
    return two(seconds / 3600) + ':' + two(seconds / 60 % 60) + ':' + two(seconds % 60);
}

Deck::Deck(Side side, DeckControls& controls, playback::StreamControl& engine,
           audio::EngineDoor& door, Dialogs& dialogs, DeckHost& host, PlaylistPort& playlist,
           Clock& clock)
    : side_(side),
      controls_(controls),
      engine_(engine),
      door_(door),
      dialogs_(dialogs),
      host_(host),
      playlist_(playlist),
      cueTimer_(clock.createTimer()),
      turntableStopTimer_(clock.createTimer()) {
    cueTimer_->setInterval(kCueSearchInterval);
    turntableStopTimer_->setInterval(kTurntableStopInterval);
    QObject::connect(&controls_.play, &ButtonModel::clicked, [this] { playClick(); });
    QObject::connect(&controls_.pause, &ButtonModel::clicked, [this] { pauseClick(); });
    QObject::connect(&controls_.playPause, &ButtonModel::clicked, [this] { playPauseClick(); });
    QObject::connect(&controls_.openFile, &ButtonModel::clicked, [this] { openFileClick(); });
}

bool Deck::probePath(const QString& path) const {
    // A path the file system cannot even look up (an embedded NUL, an absurd length) is a load
    // error; a path that merely does not exist is left to the open, which asks about it.
    return !path.contains(QChar(u'\0')) && path.size() < 4096;
}

void Deck::init_Player() {
    if (songFile_.isEmpty()) return;
    DeckDisplayModel& display = controls_.display;

    if (!probePath(songFile_)) {
        if (!host_.autoDJOn()) {
            dialogs_.message(host_.applicationTitle(),
                             "Please make sure the file exists on the disk...", MessageButtons::Ok,
                             MessageIcon::Critical);
            display.setLamp(DeckDisplayModel::Busy, false);
            host_.setBusyPointer(false);
            return;
        }
        // Under Auto-DJ a bad entry is skipped: the following one is loaded instead.
        host_.processEvents();
        playlist_.advance();
        songFile_ = playlist_.pathAt(playlist_.playlistPosition());
    }

    host_.setActiveDeck(side_);
    display.setLamp(DeckDisplayModel::Busy, true);
    if (side_ == Side::Right) host_.setBusyPointer(true);
    controls_.volume.setValue(static_cast<int>(roundEven(host_.mixScale() * 0.5)));

    // Music on this deck stops at once, whatever the old stream's kind.
    engine_.freeStream(stream_);
    stream_ = engine_.openStream(songFile_);

    if (host_.autoDJOn() && stream_ == 0) {
        if (!deckEnding_) {
            deckEnding_ = true;
            if (other_) other_->setDeckEnding(false);
            events_.wantsNextSong.notify();
        }
        display.setLamp(DeckDisplayModel::Busy, false);
        host_.setBusyPointer(false);
        return;
    }

    // With Auto-DJ off a failed open goes on with handle 0: the deck shows the title and a zero
    // time and stays silent.
    display.setTimeText(getSongLength(stream_));
    if (const auto rate = door_.rate(streamId())) sampleRate_ = rate->value;
    const bool high = sampleRate_ >= 44100;
    controls_.speed44.setLit(high);
    controls_.speed22.setLit(!high);
    door_.setPan(streamId(), host_.deckPan());
    engine_.setStreamPosition(stream_, 1);
    cuePoint_ = 1;
    controls_.pitchZero.click();
    display.setLamp(DeckDisplayModel::Busy, false);
    host_.setBusyPointer(false);

    const QString title = host_.deckTitle(songFile_);
    display.setDisplayText(title + kTenSpaces + kProductName);
    const tags::Headline headline = tags::headlineOf(title, songFile_);
    display.setHeadline(headline.title, headline.artist);
    display.setElapsedText(timeText(0));
    for (auto lamp : {DeckDisplayModel::Cue, DeckDisplayModel::Play, DeckDisplayModel::Pause,
                      DeckDisplayModel::Stop, DeckDisplayModel::ExtraA, DeckDisplayModel::ExtraB})
        display.setLamp(lamp, false);
    display.setSearchIndicator(2);
    display.setFurtherText(QString());
    events_.loaded.notify();
}

void Deck::playClick() {
    if (songFile_.isEmpty()) {
        songFile_ = playlist_.pathAt(playlist_.playlistPosition());
        if (!songFile_.isEmpty())
            init_Player();
        else
            openFileClick();
    }
    if (songFile_.isEmpty()) return;
    if (cueMode_) {
        cueTimer_->setEnabled(false);
        cueMode_ = false;
    }
    host_.setActiveDeck(side_);
    playNow();
}

void Deck::playNow() {
    if (paused_) {
        engine_.resumeStream(stream_);
        paused_ = false;
        controls_.display.setLamp(DeckDisplayModel::Pause, false);
        events_.levelsToApply.notify();
        return;
    }
    turntableStopTimer_->setEnabled(false);  // cancels a stop in progress
    // Both decks' pitch, the left's first.
    for (Deck* deck : side_ == Side::Left ? std::array{this, other_} : std::array{other_, this})
        if (deck) deck->events_.pitchToApply.notify();
    if (stream_ == 0) return;
    controls_.display.setLamp(DeckDisplayModel::Play, true);

    if (engine_.isStreamPlaying(stream_)) {
        // Play while playing jumps back to the cue point and keeps going.
        engine_.setStreamPosition(stream_, cuePoint_);
        events_.levelsToApply.notify();
        return;
    }
    engine_.setStreamPosition(stream_, cuePoint_);
    if (engine_.startStream(stream_) == 0 && !host_.autoDJOn()) {
        engine_.ThrowError("Can't play file. Please choose another file...");
        return;
    }
    events_.levelsToApply.notify();
}

void Deck::pauseClick() {
    host_.setActiveDeck(side_);
    if (!engine_.isStreamPlaying(stream_)) return;
    paused_ = true;
    controls_.display.setLamp(DeckDisplayModel::Pause, true);
    door_.pause(streamId());
}

void Deck::playPauseClick() {
    if (!paused_ && playback::isStreamPlaying(engine_.library(), stream_))
        pauseClick();
    else
        playClick();
}

void Deck::openFileClick() {
    playlist_.pressAdd();
    const QString added = playlist_.addedSongPath();
    if (added.isEmpty()) return;
    playlist_.selectEntry(playlist_.playlistPosition());
    loadChosenFile(added);
}

void Deck::loadChosenFile(const QString& path) {
    songFile_ = path;
    init_Player();
    controls_.playCue.setLit(false);
    setCueHistory(0, 0);
}

void Deck::finishedUnderAutoDJ() {
    if (!host_.autoDJOn() || deckEnding_) return;
    deckEnding_ = true;
    if (other_) other_->setDeckEnding(false);
    events_.wantsNextSong.notify();
}

QString Deck::getSongLength(audio::Handle stream) {
    songLength_ = engine_.streamLength(stream);
    const double seconds = engine_.bytesToSeconds(stream, songLength_);
    // Held as a 16-bit count of seconds; a failed conversion (negative) shows zero.
    const std::int64_t s =
        std::clamp<std::int64_t>(roundEven(seconds), 0, std::numeric_limits<std::int16_t>::max());
    return timeText(s);
}

QString Deck::getTimeRemain(audio::Handle stream, std::uint32_t position, std::uint32_t length) {
    // Past the end (a position beyond the length) shows zero rather than a negative time.
    if (position >= length) return timeText(0);
    const double seconds = engine_.bytesToSeconds(stream, length - position);
    return timeText(std::max<std::int64_t>(0, roundEven(seconds)));
}

void Deck::updateDisplay() {
    if (stream_ == 0) return;
    // The places this deck jumps back to stay decoded, so a jump there plays at once.
    door_.keepWarm(streamId(), 0, framesAt(door_, streamId(), cuePoint_));
    door_.keepWarm(streamId(), 1, framesAt(door_, streamId(), prevCue_));
    DeckDisplayModel& display = controls_.display;
    const int bar = display.positionBar();
    if (bar == shownProgress_) {
        if (songLength_ > 0) {
            const std::uint32_t position = engine_.getStreamPosition(stream_);
            display.setPositionBar(
                static_cast<int>(roundEven(static_cast<double>(position) / songLength_ * 100)));
            display.setTimeText(getTimeRemain(stream_, position, songLength_));
            showElapsed(position);
        } else {
            display.setPositionBar(0);
            display.setTimeText(getSongLength(stream_));
        }
    } else {
        // The user dragged the bar since the last tick: seek there.
        engine_.setStreamPosition(stream_,
                                  static_cast<std::uint32_t>(roundEven(bar / 100.0 * songLength_)));
        const std::uint32_t position = engine_.getStreamPosition(stream_);
        display.setTimeText(getTimeRemain(stream_, position, songLength_));
        showElapsed(position);
    }
}

void Deck::showElapsed(std::uint32_t position) {
    const double seconds = engine_.bytesToSeconds(stream_, position);
    controls_.display.setElapsedText(timeText(std::max<std::int64_t>(0, roundEven(seconds))));
}

}  // namespace kelvra::decks
