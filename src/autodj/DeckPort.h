// One deck as the Auto-DJ drives it, and the adapter over the program's own deck. The Auto-DJ
// only loads, starts, reads the progress of and positions a deck; the deck's own rules (a failed
// load marks it ending and asks for the following song) stay in the deck.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <cstdint>

#include "core/ControlModels.h"
#include "decks/Deck.h"
#include "playback/StreamControl.h"

namespace kelvra::autodj {

class DeckPort {
  public:
    virtual ~DeckPort() = default;
    virtual bool ending() const = 0;
    virtual void setEnding(bool ending) = 0;
    // True while the deck holds an open stream.
    virtual bool hasStream() const = 0;
    virtual QString songFile() const = 0;
    // Byte position of the stream and its length (0 without a stream).
    virtual std::uint32_t position() = 0;
    virtual std::uint32_t length() const = 0;
    virtual bool playing() = 0;
    // Sets the song file and runs the deck's loader.
    virtual void load(const QString& path) = 0;
    // The deck's play button.
    virtual void play() = 0;
    // Moves the cue point, and the stream with it, to a byte position (before the deck plays).
    virtual void setCuePoint(std::uint32_t position) = 0;
    virtual SliderModel& volume() = 0;
};

class DeckAdapter final : public DeckPort {
  public:
    DeckAdapter(decks::Deck& deck, playback::StreamControl& engine)
        : deck_(deck), engine_(engine) {}

    bool ending() const override { return deck_.deckEnding(); }
    void setEnding(bool ending) override { deck_.setDeckEnding(ending); }
    bool hasStream() const override { return deck_.stream() != 0; }
    QString songFile() const override { return deck_.songFile(); }
    std::uint32_t position() override {
        return deck_.stream() == 0 ? 0 : engine_.getStreamPosition(deck_.stream());
    }
    std::uint32_t length() const override { return deck_.stream() == 0 ? 0 : deck_.songLength(); }
    bool playing() override { return playback::isStreamPlaying(engine_.library(), deck_.stream()); }
    void load(const QString& path) override {
        deck_.setSongFile(path);
        deck_.init_Player();
    }
    void play() override { deck_.controls().play.click(); }
    void setCuePoint(std::uint32_t position) override {
        deck_.setCuePoint(position);
        engine_.setStreamPosition(deck_.stream(), position);
    }
    SliderModel& volume() override { return deck_.controls().volume; }

  private:
    decks::Deck& deck_;
    playback::StreamControl& engine_;
};

}  // namespace kelvra::autodj
