// The mixer: turns the crossfader, the deck and main volumes and the headphone routing into one
// volume and pan per deck stream, and drives the three level meters. With one stereo output the
// headphone cue comes from using its two channels separately: in a monitor mode the right
// channel carries the main mix and the left channel only the monitored deck at the headphone
// level; the engine's output routing does that split, the streams' volumes and pans follow the
// level pairs as ever. With a headphone output of its own, the main output carries the main mix
// in stereo and the headphones the monitored deck, blended with the main mix by `phonesMix`.
// Thread: UI thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "audio/LibraryOverDoor.h"
#include "decks/DeckControls.h"

namespace kelvra::decks {

struct VolumePan {
    int volume = 0;  // 0..100
    int pan = 0;     // -100..100
};

// The volume and pan that put level `leftLevel` on the left and `rightLevel` on the right under
// the engine's linear pan law.
VolumePan levelsToVolumePan(int leftLevel, int rightLevel);
// Applies levelsToVolumePan() to a stream, leaving its rate alone. Failures are ignored.
void set_channel_levels(audio::AudioLibrary& library, audio::Handle stream, int leftLevel,
                        int rightLevel);

enum MonitorMode : int { kMonitorLeft = 1, kMonitorRight = 2, kMonitorStereo = 3 };

class Mixer {
  public:
    using StreamOf = std::function<audio::Handle(Side)>;

    // Every mixer slider's change runs run_volume_timer(); the routing buttons run
    // monitorCMB_Click().
    Mixer(audio::LibraryOverDoor& library, MixerControls& mixer, DeckControls& left,
          DeckControls& right, StreamOf streamOf);

    // The scale of every level slider: the crossfader's maximum, taken once at start-up.
    int mixScale() const { return mixScale_; }
    void setMixScale(int scale) { mixScale_ = scale; }
    int deckVolume(Side side) const { return deckVolume_[sideIndex(side)]; }
    int monitorMode() const { return monitorMode_; }
    void setMonitorMode(int mode) { monitorMode_ = mode; }
    // One-earpiece listening on a headphone output of its own: cue left, main mix right.
    bool phonesSplit() const { return phonesSplit_; }
    void setPhonesSplit(bool split);

    void run_volume_timer();
    void monitorCMB_Click(int index);
    void run_VUmeterTimer();

  private:
    double deckGain(Side side) const;  // (S - V) / S of the deck's volume slider
    void updateMeters(Side side);

    audio::LibraryOverDoor& library_;
    MixerControls& mixer_;
    DeckControls* decks_[2];
    StreamOf streamOf_;
    int mixScale_ = 100;
    int deckVolume_[2] = {0, 0};
    int monitorMode_ = kMonitorLeft;
    bool phonesSplit_ = false;
};

}  // namespace kelvra::decks
