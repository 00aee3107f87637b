#include "decks/DeckCue.h"

namespace kelvra::decks {
namespace {

// One search step: 500 bytes of decoded audio per 80 ms tick.
constexpr std::uint32_t kSearchStep = 500;
const char* const kCantPlay = "Can't play file. Please choose another file...";

}  // namespace

DeckCue::DeckCue(Deck& deck, playback::StreamControl& engine, audio::EngineDoor& door,
                 DeckHost& host)
    : deck_(deck), engine_(engine), door_(door), host_(host) {
    DeckControls& c = deck_.controls();
    QObject::connect(&c.cue, &ButtonModel::mousePressed, [this] { cueMouseDown(); });
    QObject::connect(&c.cue, &ButtonModel::clicked, [this] { cueClick(); });
    QObject::connect(&c.play, &ButtonModel::mousePressed,
                     [this](Qt::MouseButton button) { playMouseDown(button); });
    QObject::connect(&c.cueBack, &ButtonModel::mousePressed,
                     [this] { searchMouseDown(Search::Back); });
    QObject::connect(&c.cueBack, &ButtonModel::mouseReleased,
                     [this] { searchMouseUp(Search::Back); });
    QObject::connect(&c.cueForward, &ButtonModel::mousePressed,
                     [this] { searchMouseDown(Search::Forward); });
    QObject::connect(&c.cueForward, &ButtonModel::mouseReleased,
                     [this] { searchMouseUp(Search::Forward); });
    QObject::connect(&c.playCue, &ButtonModel::clicked, [this] { playCueClick(); });
    QObject::connect(&c.resetCue, &ButtonModel::clicked, [this] { resetCueClick(); });
    deck_.cueTimer().setOnTick([this] { searchTick(); });
}

bool DeckCue::playing() {
    return engine_.isStreamPlaying(deck_.stream()) != 0;
}

void DeckCue::startOrComplain() {
    if (engine_.startStream(deck_.stream()) != 0)
        deck_.events().levelsToApply.notify();
    else
        engine_.ThrowError(kCantPlay);
}

void DeckCue::cueMouseDown() {
    deck_.controls().display.setLamp(DeckDisplayModel::Cue, true);
    host_.setActiveDeck(deck_.side());
    host_.run_cue_mousedown();
}

void DeckCue::cueClick() {
    host_.setActiveDeck(deck_.side());
    if (!deck_.cueMode()) deck_.controls().display.setLamp(DeckDisplayModel::Cue, false);
}

void DeckCue::recordCue() {
    const audio::Handle stream = deck_.stream();
    if (deck_.paused()) {
        deck_.setCuePoint(engine_.getStreamPosition(stream));
        return;
    }
    const std::uint32_t cue = deck_.cuePoint();
    if (cue < 1 || deck_.prevCue() != 0 || deck_.olderCue() != 0) {
        deck_.setCueHistory(cue, deck_.prevCue());
    } else {
        // The first real cue point pushed into an empty history lights play-previous-cue.
        deck_.setCueHistory(cue, deck_.olderCue());
        deck_.controls().playCue.setLit(true);
    }
    std::uint32_t position = engine_.getStreamPosition(stream);
    if (position == deck_.songLength()) position = 1;  // at the very end: back to the start
    deck_.setCuePoint(position);
}

void DeckCue::playMouseDown(Qt::MouseButton button) {
    host_.setActiveDeck(deck_.side());
    if (button != Qt::RightButton) return;
    DeckDisplayModel& display = deck_.controls().display;
    display.setLamp(DeckDisplayModel::Cue, true);
    display.setLamp(DeckDisplayModel::Play, false);
    deck_.turntableStopTimer().setEnabled(false);
    door_.stop(deck_.streamId());
    engine_.setStreamPosition(deck_.stream(), deck_.cuePoint());
    // A turntable stop may have left the frequency lowered.
    deck_.events().pitchToApply.notify();
    deck_.setCueMode(true);
    host_.focusMixer();
}

void DeckCue::searchMouseDown(Search way) {
    if (!deck_.cueMode()) return;
    const bool forward = way == Search::Forward;
    searchForward_ = forward;
    searchBack_ = !forward;
    deck_.cueTimer().setEnabled(true);
    if (!playing()) engine_.startStream(deck_.stream());
    deck_.controls().display.setSearchArrow(forward ? 0 : 1);
}

void DeckCue::searchMouseUp(Search way) {
    (way == Search::Forward ? searchForward_ : searchBack_) = false;
    DeckDisplayModel& display = deck_.controls().display;
    display.setSearchArrow(2);
    display.setSearchIndicator(2);
}

void DeckCue::searchTick() {
    if (!deck_.cueMode()) return;
    std::int64_t cue = deck_.cuePoint();
    DeckDisplayModel& display = deck_.controls().display;
    if (searchForward_) {
        cue += kSearchStep;
        display.setSearchArrow(0);
    } else if (searchBack_) {
        cue -= kSearchStep;
        display.setSearchArrow(1);
    }
    if (cue < 1) cue = 1;
    if (cue >= std::int64_t(deck_.songLength())) cue = 1;  // searching past the end wraps
    deck_.setCuePoint(static_cast<std::uint32_t>(cue));
    // Every tick jumps back to the cue point: a playing deck repeats its first 80 ms.
    engine_.setStreamPosition(deck_.stream(), deck_.cuePoint());
}

void DeckCue::playCueClick() {
    if (deck_.stream() == 0) return;
    host_.setActiveDeck(deck_.side());
    DeckDisplayModel& display = deck_.controls().display;
    display.setLamp(DeckDisplayModel::Play, true);
    if (deck_.cueMode()) {
        deck_.cueTimer().setEnabled(false);
        deck_.setCueMode(false);
    }
    deck_.turntableStopTimer().setEnabled(false);
    deck_.events().pitchToApply.notify();
    if (deck_.paused()) {
        // Resumes where it was paused, not at the previous cue point.
        engine_.resumeStream(deck_.stream());
        deck_.setPaused(false);
        display.setLamp(DeckDisplayModel::Pause, false);
        deck_.events().levelsToApply.notify();
    } else if (playing()) {
        engine_.setStreamPosition(deck_.stream(), deck_.prevCue());
        deck_.events().levelsToApply.notify();
    } else {
        engine_.setStreamPosition(deck_.stream(), deck_.prevCue());
        startOrComplain();
    }
}

void DeckCue::resetCueClick() {
    if (deck_.stream() == 0) return;
    deck_.controls().display.setLamp(DeckDisplayModel::Play, true);
    deck_.setCueHistory(deck_.cuePoint(), deck_.olderCue());
    deck_.setCuePoint(0);
    host_.setActiveDeck(deck_.side());
    const bool wasPlaying = playing();
    engine_.setStreamPosition(deck_.stream(), 0);
    if (wasPlaying)
        deck_.events().levelsToApply.notify();
    else
        startOrComplain();
}

}  // namespace kelvra::decks
