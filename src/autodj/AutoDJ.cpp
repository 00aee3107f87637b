#include "autodj/AutoDJ.h"

#include <algorithm>

#include "core/Rounding.h"

namespace kelvra::autodj {
namespace {

// The incoming deck starts once the crossfader has come this far towards it.
constexpr int kStartRightAt = 40;    // fading right: at or above
constexpr int kStartLeftBelow = 61;  // fading left: below
constexpr int kDefaultFadeSeconds = 5;
// Spans kept for songs seen; beyond this the cache starts afresh (a scan is cheap to repeat).
constexpr std::size_t kMaxKnownSpans = 512;

}  // namespace

AutoDJ::AutoDJ(Parts parts) : parts_(std::move(parts)) {
    parts_.autoDJButton.setLit(false);
    parts_.fadeTimer.setOnTick([this] { tmrAutoFade_Timer(); });
    QObject::connect(&parts_.autoDJButton, &ButtonModel::clicked, [this] { autoDJCB_Click(); });
    QObject::connect(&parts_.nextSong, &ButtonModel::clicked, [this] { downCB_Click(); });
    QObject::connect(&parts_.previousSong, &ButtonModel::clicked, [this] { upCB_Click(); });
    if (parts_.scanner)
        parts_.scanner->setOnResult([this](const QString& path, std::optional<AudibleSpan> span) {
            onScanned(path, span);
        });
}

double AutoDJ::fadeStep() const {
    const int seconds =
        parts_.settings.autoFadeSeconds > 0 ? parts_.settings.autoFadeSeconds : kDefaultFadeSeconds;
    // A full sweep of the crossfader's 0..100 takes `seconds`: 2 per 100 ms tick for 5 s.
    return 100.0 * kAutoFadeInterval / (seconds * 1000.0);
}

int AutoDJ::progress(Side side) {
    DeckPort& d = deck(side);
    const std::uint32_t length = d.length();
    if (!d.hasStream() || length == 0) return 0;
    const double position = d.position();
    if (skipSilence()) {
        // The share of the audible part played; the plain share until the scan is in.
        if (const AudibleSpan* span = knownSpan(d.songFile()); span && span->end > span->first)
            return static_cast<int>(
                roundEven((position - span->first) / (span->end - span->first) * 100));
        requestScan(d.songFile());
    }
    return static_cast<int>(roundEven(position / length * 100));
}

void AutoDJ::autoDJTrigger() {
    // A finished pass loads nothing more; the decks' flags are left as the last trigger set them.
    if (passComplete_) return;
    for (Side side : {Side::Right, Side::Left}) {
        DeckPort& d = deck(side);
        const int p = progress(side);
        if ((p >= 100 || p > parts_.settings.AutomixStart) && !d.ending()) {
            d.setEnding(true);
            deck(otherSide(side)).setEnding(false);
            run_autoDJ();
        }
    }
}

void AutoDJ::run_autoDJ() {
    if (loading_) {
        // A deck failed to load the song just given to it and asks for the following one. That
        // runs once the load has returned, so a playlist of bad files never deepens the stack.
        pending_ = true;
        ++failedLoads_;
        return;
    }
    do {
        pending_ = false;
        runOnce();
    } while (pending_ && on_);
}

void AutoDJ::runOnce() {
    DeckPort& left = parts_.left;
    DeckPort& right = parts_.right;
    if (!left.ending() && !right.ending()) return;

    decks::PlaylistPort& playlist = parts_.playlist;
    const int count = playlist.count();
    if (on_ && count > 0 && failedLoads_ >= count) {
        // Every entry has been tried once since the last song that loaded: stop rather than
        // alternate between the decks for ever.
        switchOff();
        parts_.dialogs.message("AutoDJ - Stopped...",
                               "AutoDJ stopped: none of the songs in the playlist could be played.",
                               MessageButtons::Ok, MessageIcon::Information);
        return;
    }

    const int position =
        playlist.playlistPosition() < count - 1 ? playlist.playlistPosition() + 1 : 0;
    if (walk_ == Walk::OnePass) {
        if (passComplete_) return;
        if (passStart_ < 0) {
            passStart_ = position;
        } else if (position == passStart_) {
            // Round again: the song playing now is the pass's last, and plays out.
            passComplete_ = true;
            return;
        }
    }
    // Selecting the entry makes it the playlist's position and next song, and shows it in the
    // next-song box.
    playlist.selectEntry(position);
    const QString nextSong = playlist.pathAt(position);

    if (!fadeToLeft_ && !fadeToRight_) fadeToLeft_ = true;  // the first fade goes right
    if (fadeToLeft_ && left.ending()) {
        fadeToLeft_ = false;
        fadeToRight_ = true;
        loadInto(Side::Right, nextSong);
    } else if (fadeToRight_ && right.ending()) {
        fadeToRight_ = false;
        fadeToLeft_ = true;
        loadInto(Side::Left, nextSong);
    }
}

void AutoDJ::loadInto(Side side, const QString& path) {
    DeckPort& d = deck(side);
    loading_ = true;
    d.load(path);
    loading_ = false;
    if (d.hasStream() && !pending_) failedLoads_ = 0;
    if (pending_ && afterFailedLoad_ == AfterFailedLoad::SameDeck) {
        // The failed deck marked itself ending, which would send the following entry to the
        // other deck over the song playing there. Put the flags and the fade back as they were
        // before this load, so the following entry comes to this deck instead; the fade is left
        // alone, as nothing new came in to fade to.
        d.setEnding(false);
        deck(otherSide(side)).setEnding(true);
        fadeToLeft_ = side == Side::Right;
        fadeToRight_ = side == Side::Left;
        return;
    }

    if (skipSilence() && d.hasStream()) {
        startPending_[sideIndex(side)] = d.songFile();
        requestScan(d.songFile());
        // The entry after it is scanned ahead, so its start point is known by its turn.
        const int count = parts_.playlist.count();
        const int position = parts_.playlist.playlistPosition();
        requestScan(parts_.playlist.pathAt(position < count - 1 ? position + 1 : 0));
        applyStartPoint(side);
    }

    d.volume().setValue(d.volume().minimum());  // full deck level
    parts_.fadeTimer.setEnabled(true);
}

void AutoDJ::autoDJCB_Click() {
    if (!parts_.autoDJButton.isLit()) {
        if (parts_.playlist.count() == 0) {
            parts_.dialogs.message("AutoDJ - No playlist loaded...",
                                   "Please load or create a playlist first...", MessageButtons::Ok,
                                   MessageIcon::Information);
            return;
        }
        parts_.autoDJButton.setLit(true);
        on_ = true;
        failedLoads_ = 0;
        passStart_ = -1;
        passComplete_ = false;
        if (!parts_.right.ending()) {
            parts_.left.setEnding(true);
            parts_.right.setEnding(false);
            parts_.fadeTimer.setEnabled(true);
            run_autoDJ();
        }
    } else {
        switchOff();
    }
}

void AutoDJ::switchOff() {
    // The decks keep playing and the crossfader stays where the fade left it.
    parts_.autoDJButton.setLit(false);
    on_ = false;
    parts_.fadeTimer.setEnabled(false);
}

void AutoDJ::stepCrossFader(double step, double limit) {
    SliderModel& fader = parts_.crossFader;
    // A crossfader moved by hand since the last step is followed from where it is now.
    if (roundEven(fadePosition_) != fader.value()) fadePosition_ = fader.value();
    // The step is clamped: an odd start would otherwise ask for 101 or -1 on the last step.
    fadePosition_ =
        step > 0 ? std::min(fadePosition_ + step, limit) : std::max(fadePosition_ + step, limit);
    fader.setValue(static_cast<int>(roundEven(fadePosition_)));
}

void AutoDJ::tmrAutoFade_Timer() {
    SliderModel& fader = parts_.crossFader;
    const double step = fadeStep();
    if (fadeToRight_) {
        if (fader.value() < fader.maximum())
            stepCrossFader(step, fader.maximum());
        else
            parts_.fadeTimer.setEnabled(false);
        if (fader.value() >= kStartRightAt && !parts_.right.playing()) {
            applyStartPoint(Side::Right);
            parts_.right.play();
            if (onStarted_) onStarted_(Side::Right);
        }
    } else if (fadeToLeft_) {
        if (fader.value() > fader.minimum())
            stepCrossFader(-step, fader.minimum());
        else
            parts_.fadeTimer.setEnabled(false);
        if (fader.value() < kStartLeftBelow && !parts_.left.playing()) {
            applyStartPoint(Side::Left);
            parts_.left.play();
            if (onStarted_) onStarted_(Side::Left);
        }
    }
}

void AutoDJ::get_next_song() {
    const Side side = parts_.activeDeck ? parts_.activeDeck() : Side::Left;
    deck(side).load(parts_.playlist.pathAt(parts_.playlist.playlistPosition()));
}

void AutoDJ::downCB_Click() {
    decks::PlaylistPort& playlist = parts_.playlist;
    const int count = playlist.count();
    if (playlist.playlistPosition() + 1 < count)
        playlist.selectEntry(playlist.playlistPosition() + 1);
    else if (count > 0)
        playlist.selectEntry(0);
}

void AutoDJ::upCB_Click() {
    decks::PlaylistPort& playlist = parts_.playlist;
    if (playlist.count() == 0) return;  // a pointer left behind by an emptied list stays put
    if (playlist.playlistPosition() >= 1)
        playlist.selectEntry(playlist.playlistPosition() - 1);
    else
        playlist.selectEntry(playlist.count() - 1);
}

// ---- skip silence ------------------------------------------------------------------------------

void AutoDJ::requestScan(const QString& path) {
    if (!parts_.scanner || path.isEmpty() || spans_.count(path) || requested_.count(path)) return;
    requested_.insert(path);
    parts_.scanner->request(path);
}

const AudibleSpan* AutoDJ::knownSpan(const QString& path) const {
    const auto found = spans_.find(path);
    return found != spans_.end() && found->second ? &*found->second : nullptr;
}

void AutoDJ::onScanned(const QString& path, std::optional<AudibleSpan> span) {
    requested_.erase(path);
    if (spans_.size() >= kMaxKnownSpans) spans_.clear();
    spans_[path] = span;
    applyStartPoint(Side::Left);
    applyStartPoint(Side::Right);
}

void AutoDJ::applyStartPoint(Side side) {
    QString& pending = startPending_[sideIndex(side)];
    if (pending.isEmpty()) return;
    DeckPort& d = deck(side);
    // Another song since, or already started by the plain rule: nothing left to move.
    if (d.songFile() != pending || !d.hasStream() || d.playing()) {
        pending.clear();
        return;
    }
    const auto found = spans_.find(pending);
    if (found == spans_.end()) return;  // not scanned yet
    pending.clear();
    if (!found->second || found->second->first <= 1) return;  // no silence to skip
    d.setCuePoint(found->second->first);
}

}  // namespace kelvra::autodj
