#include "decks/DeckLoops.h"

#include <algorithm>
#include <cmath>

#include "decks/DeckPlaces.h"

namespace kelvra::decks {

DeckLoops::DeckLoops(Deck& deck, audio::EngineDoor& door, const DeckAnalysis& analysis,
                     const DeckJumps& jumps, Clock& clock, library::SongStore* songs)
    : deck_(deck),
      door_(door),
      analysis_(analysis),
      jumps_(jumps),
      clock_(clock),
      songs_(songs),
      grid_(deck, door, analysis) {
    DeckControls& c = deck_.controls();
    const auto on = [](ButtonModel& button, auto action) {
        QObject::connect(&button, &ButtonModel::clicked, action);
    };
    on(c.loopIn, [this] { setIn(); });
    on(c.loopOut, [this] { setOut(); });
    on(c.loopHalf, [this] { halve(); });
    on(c.loopDouble, [this] { twice(); });
    on(c.loopExit, [this] { exit(); });
    on(c.reloop, [this] { reloop(); });
    for (int i = 0; i < DeckControls::kBeatLoops; ++i) {
        on(c.beatLoop[i], [this, i] { beatLoop(i); });
        // On the pads a right press rolls; the scripts hold the roll buttons themselves.
        QObject::connect(&c.beatLoop[i], &ButtonModel::mousePressed, [this, i](auto button) {
            if (button == Qt::RightButton) rollDown(i);
        });
        QObject::connect(&c.beatLoop[i], &ButtonModel::mouseReleased, [this](auto button) {
            if (button == Qt::RightButton) rollUp();
        });
        QObject::connect(&c.loopRoll[i], &ButtonModel::mousePressed,
                         [this, i](auto) { rollDown(i); });
        QObject::connect(&c.loopRoll[i], &ButtonModel::mouseReleased, [this](auto) { rollUp(); });
    }
    QObject::connect(&c.loopRollAny, &ButtonModel::mouseReleased, [this](auto) { rollUp(); });
    deck_.events().loaded.connect([this] { songLoaded(); });
    show();
}

void DeckLoops::songLoaded() {
    in_ = out_ = -1;
    active_ = false;
    rolling_ = -1;
    // A loop saved on a longer file of the same name (the song was re-encoded) is not taken up.
    if (songs_ && deck_.stream() != 0)
        if (const auto saved = songs_->loop(deck_.songFile());
            saved && saved->out <= std::int64_t(deck_.songLength())) {
            in_ = saved->in;
            out_ = saved->out;
        }
    show();
}

void DeckLoops::remember() {
    // A roll is a moment's loop: the one the DJ set stays the song's.
    if (songs_ && rolling_ < 0 && in_ >= 0 && out_ > in_)
        songs_->setLoop(deck_.songFile(), {in_, out_});
}

std::int64_t DeckLoops::here() const {
    return grid_.toBytes(grid_.positionSeconds());
}

std::int64_t DeckLoops::minimumLength() const {
    // The engine's shortest loop is two seams; a few milliseconds more keep a loop audible.
    return grid_.toBytes(0.02);
}

void DeckLoops::setIn() {
    if (deck_.stream() == 0) return;
    double at = grid_.positionSeconds();
    if (jumps_.quantizeOn()) at = grid_.nearestBeat(at);
    in_ = grid_.toBytes(at);
    if (out_ >= 0 && out_ - in_ < minimumLength()) {
        out_ = -1;
        active_ = false;
    }
    apply();
}

void DeckLoops::setOut() {
    if (deck_.stream() == 0 || in_ < 0) return;
    double at = grid_.positionSeconds();
    if (jumps_.quantizeOn()) at = grid_.nearestBeat(at);
    std::int64_t out = grid_.toBytes(at);
    if (out - in_ < minimumLength()) {
        // Out at or before in: a beat's loop where there is a grid, the shortest one otherwise.
        const auto beat = grid_.beatSeconds();
        out = in_ + (beat ? grid_.toBytes(*beat) : minimumLength());
    }
    out_ = std::min<std::int64_t>(out, deck_.songLength());
    active_ = out_ - in_ >= minimumLength();
    apply();
}

void DeckLoops::beatLoop(int index) {
    const auto beat = grid_.beatSeconds();
    if (deck_.stream() == 0 || !beat) return;
    const double size = kSizes[std::clamp(index, 0, DeckControls::kBeatLoops - 1)];
    const std::int64_t length = grid_.toBytes(size * *beat);
    // The same loop again ends it, as its lit button says.
    if (active_ && out_ - in_ == length) {
        exit();
        return;
    }
    // From the grid line at or before the deck, on a grid as fine as the loop.
    const double start = grid_.beatAtOrBefore(grid_.positionSeconds(), std::min(size, 1.0));
    in_ = grid_.toBytes(std::max(0.0, start));
    out_ = std::min<std::int64_t>(in_ + length, deck_.songLength());
    active_ = out_ - in_ >= minimumLength();
    apply();
}

void DeckLoops::halve() {
    if (in_ < 0 || out_ < 0) return;
    const std::int64_t frame = std::max<std::int64_t>(1, grid_.frameBytes());
    const std::int64_t half = (out_ - in_) / 2 / frame * frame;
    if (half < minimumLength()) return;
    out_ = in_ + half;
    apply();
}

void DeckLoops::twice() {
    if (in_ < 0 || out_ < 0) return;
    out_ = std::min<std::int64_t>(in_ + 2 * (out_ - in_), deck_.songLength());
    apply();
}

void DeckLoops::exit() {
    active_ = false;
    apply();
}

void DeckLoops::reloop() {
    if (in_ < 0 || out_ < 0 || deck_.stream() == 0) return;
    active_ = true;
    apply();
    // From outside the loop, back to its start at once.
    const std::int64_t now = here();
    if (now < in_ || now >= out_) seekTo(door_, deck_.streamId(), std::uint32_t(in_));
}

void DeckLoops::rollDown(int index) {
    if (deck_.stream() == 0 || !grid_.beatSeconds() || rolling_ >= 0) return;
    rollFrom_ = grid_.positionSeconds();
    rollSince_ = clock_.nowMs();
    rollAside_ = {in_, out_};
    active_ = false;  // a roll always starts its own loop
    rolling_ = index;
    beatLoop(index);
    if (!active_) rolling_ = -1;
}

void DeckLoops::rollUp() {
    if (rolling_ < 0) return;
    rolling_ = -1;
    active_ = false;
    // The loop the DJ had set before the roll is there again for reloop.
    in_ = rollAside_[0];
    out_ = rollAside_[1];
    apply();
    // On where the song would be had it played straight on.
    const double speed = analysis_.playSpeed();
    const double to = rollFrom_ + double(clock_.nowMs() - rollSince_) / 1000 * speed;
    const std::int64_t target = grid_.toBytes(to);
    if (speed > 0 && target < deck_.songLength())
        seekTo(door_, deck_.streamId(), std::uint32_t(target));
}

void DeckLoops::apply() {
    if (const audio::StreamId stream = deck_.streamId()) {
        if (active_)
            door_.setLoop(stream, {framesAt(door_, stream, std::uint32_t(in_)),
                                   framesAt(door_, stream, std::uint32_t(out_))});
        else
            door_.setLoop(stream, {});
        remember();
    }
    show();
}

void DeckLoops::show() {
    DeckControls& c = deck_.controls();
    c.loopIn.setLit(active_ && in_ >= 0);
    c.loopOut.setLit(active_ && out_ >= 0);
    const auto beat = grid_.beatSeconds();
    for (int i = 0; i < DeckControls::kBeatLoops; ++i) {
        const bool match = active_ && beat && out_ - in_ == grid_.toBytes(kSizes[i] * *beat);
        c.beatLoop[i].setLit(match);
        // A roll's own button shows it is held, for a controller's light as for the screen.
        c.loopRoll[i].setLit(rolling_ == i);
    }
    const double length = deck_.songLength();
    if (in_ >= 0 && length > 0)
        c.display.setLoopMarks(std::clamp(in_ / length, 0.0, 1.0),
                               out_ >= 0 ? std::clamp(out_ / length, 0.0, 1.0) : -1.0, active_);
    else
        c.display.setLoopMarks(-1, -1, false);
}

}  // namespace kelvra::decks
