// The Auto-DJ: walks the playlist unattended, loading the next entry into the deck that is not
// ending and sliding the crossfader across to it, and keeps the next-song pointer that the
// next/previous buttons and the next-song keys move. Owns the on/off state, the fade direction
// and the fade timer's work; the ending flags live with the decks.
// Thread: UI thread only (silence scans report back on it).
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "autodj/DeckPort.h"
#include "autodj/SilenceScan.h"
#include "core/Clock.h"
#include "core/ControlModels.h"
#include "core/Dialogs.h"
#include "decks/DeckHost.h"
#include "settings/ProgramSettings.h"

namespace kelvra::autodj {

inline constexpr int kAutoFadeInterval = 100;  // ms per crossfader step

// How far the walk goes: round the playlist until switched off (the program), or once through it
// from the entry it starts at (an offline mix, which is to end).
enum class Walk { Round, OnePass };
// Where the entry after one that failed to load goes: into the other deck, replacing the song
// playing there (the program), or into the deck that failed, so the playing song plays on.
enum class AfterFailedLoad { OtherDeck, SameDeck };

class AutoDJ {
  public:
    struct Parts {
        DeckPort& left;
        DeckPort& right;
        decks::PlaylistPort& playlist;
        SliderModel& crossFader;
        ButtonModel& autoDJButton;  // autoDJCB
        ButtonModel& previousSong;  // upCB
        ButtonModel& nextSong;      // downCB
        Timer& fadeTimer;           // tmrAutoFade; its interval is the window's to set
        Dialogs& dialogs;
        const settings::ProgramSettings& settings;
        std::function<Side()> activeDeck;
        // Finds where songs start and end sounding; only asked while skip silence is on. May be
        // null, then skip silence keeps the plain rule.
        SilenceScanner* scanner = nullptr;
    };

    explicit AutoDJ(Parts parts);
    AutoDJ(const AutoDJ&) = delete;
    AutoDJ& operator=(const AutoDJ&) = delete;

    bool autoDJOn() const { return on_; }
    bool fadeToLeft() const { return fadeToLeft_; }
    bool fadeToRight() const { return fadeToRight_; }
    // Told whenever the fade starts the incoming deck (an offline mix lists its songs by it).
    void setOnDeckStarted(std::function<void(Side)> onStarted) {
        onStarted_ = std::move(onStarted);
    }
    // Both are the program's rules until set otherwise; they take effect at the next switch-on.
    void setWalk(Walk walk) { walk_ = walk; }
    void setAfterFailedLoad(AfterFailedLoad rule) { afterFailedLoad_ = rule; }
    // One pass: the walk came back round to the entry it started at and loaded nothing more.
    bool passComplete() const { return passComplete_; }

    // Loads the following playlist entry into the deck that is not ending.
    void run_autoDJ();
    // The Auto-DJ button: on (loads the next song into the right deck and fades to it) or off.
    void autoDJCB_Click();
    // One crossfader step (the fade timer's tick).
    void tmrAutoFade_Timer();
    // The display tick's check of both decks, the right deck first.
    void autoDJTrigger();
    // Loads the next song into the active deck (the next-song keys and start-up).
    void get_next_song();
    void downCB_Click();
    void upCB_Click();

    // The crossfader's change per fade step, from the fade length setting (2 for 5 s).
    double fadeStep() const;
    // The deck's progress in percent as the trigger sees it.
    int progress(Side side);

  private:
    DeckPort& deck(Side side) { return side == Side::Left ? parts_.left : parts_.right; }
    void runOnce();
    void loadInto(Side side, const QString& path);
    void switchOff();
    void stepCrossFader(double step, double limit);
    bool skipSilence() const { return parts_.settings.autoSkipSilence && parts_.scanner; }
    void requestScan(const QString& path);
    const AudibleSpan* knownSpan(const QString& path) const;
    void onScanned(const QString& path, std::optional<AudibleSpan> span);
    void applyStartPoint(Side side);

    Parts parts_;
    std::function<void(Side)> onStarted_;
    bool on_ = false;
    bool fadeToLeft_ = false;
    bool fadeToRight_ = false;
    // The crossfader's position with the fraction a fade step leaves; steps shorter than one
    // slider unit (fades longer than 10 s) add up here.
    double fadePosition_ = 0;

    // A load started by the Auto-DJ is in progress: a deck that fails to load asks for the
    // following song from inside it, which runs once the load has returned.
    bool loading_ = false;
    bool pending_ = false;
    // Auto-DJ loads that failed since the last one that succeeded: a whole pass over the
    // playlist of them switches the Auto-DJ off.
    int failedLoads_ = 0;

    Walk walk_ = Walk::Round;
    AfterFailedLoad afterFailedLoad_ = AfterFailedLoad::OtherDeck;
    int passStart_ = -1;  // the first entry loaded since switching on; -1 before it
    bool passComplete_ = false;

    // Skip silence: audible spans by path (none: nothing audible or unreadable), the scans asked
    // for, and the song each deck got from the Auto-DJ whose start is still to be moved.
    std::map<QString, std::optional<AudibleSpan>> spans_;
    std::set<QString> requested_;
    QString startPending_[2];
};

}  // namespace kelvra::autodj
