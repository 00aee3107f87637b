#include "app/SessionModel.h"

#include "core/Rounding.h"

namespace kelvra::app {
namespace {

constexpr int kDisplayInterval = 80;

}  // namespace

SessionModel::SessionModel(Parts parts)
    : parts_(std::move(parts)),
      engine_(parts_.library, parts_.dialogs, parts_.values.engine,
              {[this] { return autoDJOn(); }, [this] { parts_.playlist.pressRemove(); }, {}}),
      displayTimer_(parts_.clock.createTimer()),
      autoFadeTimer_(parts_.clock.createTimer()) {
    MainControls& controls = parts_.controls;
    auto streamOf = [this](Side side) { return deck(side).stream(); };
    mixer_ = std::make_unique<decks::Mixer>(parts_.library, controls.mixer, controls.left,
                                            controls.right, streamOf);
    audio::EngineDoor& door = parts_.library.door();
    for (Side side : {Side::Left, Side::Right})
        decks_[sideIndex(side)] =
            std::make_unique<decks::Deck>(side, controls.deck(side), engine_, door, parts_.dialogs,
                                          *this, parts_.playlist, parts_.clock);
    deck(Side::Left).setOther(deck(Side::Right));
    deck(Side::Right).setOther(deck(Side::Left));
    autoDJDecks_[0] = std::make_unique<autodj::DeckAdapter>(deck(Side::Left), engine_);
    autoDJDecks_[1] = std::make_unique<autodj::DeckAdapter>(deck(Side::Right), engine_);
    autoDJ_ = std::make_unique<autodj::AutoDJ>(autodj::AutoDJ::Parts{
        *autoDJDecks_[0], *autoDJDecks_[1], parts_.playlist, controls.mixer.crossFader,
        controls.mixer.autoDJ, controls.previousSong, controls.nextSong, *autoFadeTimer_,
        parts_.dialogs, parts_.values, [this] { return activeDeck_; }, parts_.silenceScanner});
    for (Side side : {Side::Left, Side::Right}) {
        const int i = sideIndex(side);
        decks::Deck& d = deck(side);
        pitch_[i] = std::make_unique<decks::DeckPitch>(d, door, *this, parts_.values);
        cue_[i] = std::make_unique<decks::DeckCue>(d, engine_, door, *this);
        analysis_[i] = std::make_unique<decks::DeckAnalysis>(d, door, parts_.values);
        tone_[i] = std::make_unique<decks::DeckTone>(d, door);
        jumps_[i] = std::make_unique<decks::DeckJumps>(d, door, *analysis_[i], parts_.songs);
        loops_[i] = std::make_unique<decks::DeckLoops>(d, door, *analysis_[i], *jumps_[i],
                                                       parts_.clock, parts_.songs);
        key_[i] = std::make_unique<decks::DeckKey>(d, door);
        jog_[i] = std::make_unique<decks::DeckJog>(d, door, *pitch_[i], parts_.clock);
        // After the deck's own units: the waveform and the analysis follow a new song, and a
        // deck that finished or failed under the Auto-DJ hands over to it.
        d.events().loaded.connect([this, side] { songLoaded(side); });
        d.events().wantsNextSong.connect([this] { autoDJ_->run_autoDJ(); });
        d.events().levelsToApply.connect([this] { mixer_->run_volume_timer(); });
        d.events().pitchMoved.connect([this] { run_pitchTimer_timer(); });
        decks::DeckControls& c = controls.deck(side);
        QObject::connect(&c.pitch, &SliderModel::changed, [this] { run_pitchTimer_timer(); });
        QObject::connect(&c.pitch, &SliderModel::mousePressed, [this] { focusMixer(); });
        QObject::connect(&c.sync, &ButtonModel::clicked, [this, side] { sync(side); });
    }
    displayTimer_->setOnTick([this] { tick(); });
    recorder_ = std::make_unique<SetRecorder>(
        SetRecorder::Parts{parts_.library, parts_.dialogs, parts_.clock, controls.mixer.record,
                           controls.mixer.recordText, parts_.recordingPath,
                           [this](Side side) { return audibleSong(side); }});
}

SessionModel::~SessionModel() = default;

void SessionModel::disableTimers() {
    for (Timer* timer : {displayTimer_.get(), &deck(Side::Right).cueTimer(),
                         &deck(Side::Left).cueTimer(), &deck(Side::Right).turntableStopTimer(),
                         &deck(Side::Left).turntableStopTimer(), autoFadeTimer_.get()})
        timer->setEnabled(false);
}

void SessionModel::setStartValues() {
    displayTimer_->setInterval(kDisplayInterval);
    autoFadeTimer_->setInterval(autodj::kAutoFadeInterval);
    deckPan_ = -100;
    mixer_->setMonitorMode(decks::kMonitorLeft);
    deck(Side::Left).setSampleRate(44100);
    deck(Side::Right).setSampleRate(44100);
    decks::MixerControls& faders = parts_.controls.mixer;
    mixer_->setMixScale(faders.crossFader.maximum());
    faders.crossFader.setValue(static_cast<int>(roundEven(mixer_->mixScale() / 2.0)));
    faders.mainVolume.setValue(static_cast<int>(roundEven(mixer_->mixScale() * 0.5)));
}

bool SessionModel::openOutput() {
    if (!engine_.init_BASS()) return false;
    parts_.library.setBufferLength(static_cast<float>(parts_.values.engine.bufferSeconds));
    return true;
}

void SessionModel::start() {
    mixer_->monitorCMB_Click(2);
    deck(Side::Left).cueTimer().setInterval(parts_.values.cueSearchInterval);
    deck(Side::Right).cueTimer().setInterval(parts_.values.cueSearchInterval);
    run_pitchTimer_timer();
    displayTimer_->setEnabled(true);
}

void SessionModel::tick() {
    // Streams that played out are stopped here, once a tick, rather than by whichever query
    // happens to look first.
    parts_.library.service();
    if (const std::string notice = parts_.library.takeOutputNotice(); !notice.empty())
        events_.outputNotice.notify(QString::fromStdString(notice));
    mixer_->run_VUmeterTimer();
    if (pitch_[0]->bendHeld() || pitch_[1]->bendHeld()) run_pitchTimer_timer();
    decks::Deck& left = deck(Side::Left);
    decks::Deck& right = deck(Side::Right);
    left.updateDisplay();
    right.updateDisplay();
    right.rememberShownProgress();
    left.rememberShownProgress();
    notePlayStates();
    for (Side side : {Side::Left, Side::Right}) {
        // The tempo moves with the pitch, a bend and a stop: its texts follow every tick.
        analysis(side).refresh();
        analysis(side).showTempoMatch(analysis(otherSide(side)));
        followWaveform(side);
    }
    recorder_->tick();
    noteHeardSongs();
    publishMix();
    if (autoDJOn()) autoDJ_->autoDJTrigger();
    events_.ticked.notify();
}

void SessionModel::notePlayStates() {
    // The one place the session asks the engine whether a deck sounds: a stream also stops by
    // playing out, which only the engine knows.
    for (Side side : {Side::Left, Side::Right}) {
        const bool now = playback::isStreamPlaying(parts_.library, deck(side).stream()) != 0;
        bool& was = playing_[sideIndex(side)];
        if (now == was) continue;
        was = now;
        events_.playing.notify(side, now);
    }
}

bool SessionModel::heardOnMainMix(Side side) const {
    return playing_[sideIndex(side)] && mixer_->deckVolume(side) > 0;
}

void SessionModel::publishMix() {
    // Of two decks heard at once, the louder one carries the mix.
    int key = -1;
    int keyLoudest = 0;
    double bpm = 0;
    int bpmLoudest = 0;
    mixKeySide_.reset();
    mixBpmSide_.reset();
    for (Side side : {Side::Left, Side::Right}) {
        if (!playing_[sideIndex(side)]) continue;
        const int volume = mixer_->deckVolume(side);
        const int songKey = analysis_[sideIndex(side)]->songKey();
        const double playing = analysis_[sideIndex(side)]->effectiveBpm();
        if (volume > keyLoudest && songKey >= 0) {
            key = songKey;
            keyLoudest = volume;
            mixKeySide_ = side;
        }
        if (volume > bpmLoudest && playing > 0) {
            bpm = playing;
            bpmLoudest = volume;
            mixBpmSide_ = side;
        }
    }
    if (key == mixKey_ && bpm == mixBpm_) return;
    mixKey_ = key;
    mixBpm_ = bpm;
    events_.mix.notify(key, bpm);
}

QStringList SessionModel::mixSongs() const {
    QStringList songs;
    for (const std::optional<Side>& side : {mixKeySide_, mixBpmSide_})
        if (side && !songs.contains(deck(*side).songFile())) songs << deck(*side).songFile();
    return songs;
}

std::optional<AudibleSong> SessionModel::audibleSong(Side side) const {
    // Heard on the main mix: the deck plays, and the crossfader and its volumes let it through.
    const decks::Deck& d = deck(side);
    if (!playback::isStreamPlaying(parts_.library, d.stream()) || mixer_->deckVolume(side) <= 0)
        return std::nullopt;
    return AudibleSong{d.songFile(), parts_.controls.deck(side).display.displayText()};
}

bool SessionModel::anyDeckPlaying() const {
    return playback::isStreamPlaying(parts_.library, deck(Side::Left).stream()) ||
           playback::isStreamPlaying(parts_.library, deck(Side::Right).stream());
}

void SessionModel::noteHeardSongs() {
    for (Side side : {Side::Left, Side::Right}) {
        bool& noted = heardNoted_[sideIndex(side)];
        if (noted || !heardOnMainMix(side)) continue;
        noted = true;
        events_.heard.notify(deck(side).songFile());
    }
}

void SessionModel::songLoaded(Side side) {
    recorder_->songLoaded(side);
    heardNoted_[sideIndex(side)] = false;
    followWaveform(side);
    showKeys();
    events_.loaded.notify(side);
    if (parts_.requestAnalysis && !deck(side).songFile().isEmpty())
        parts_.requestAnalysis(side, deck(side).songFile());
}

void SessionModel::analysisReady(Side side, const QString& path,
                                 audio::analysis::AnalysisSnapshot result) {
    analysis(side).analysed(path, std::move(result));
    followWaveform(side);
    showKeys();
    events_.analysed.notify(side);
}

void SessionModel::showKeys() {
    // A key lights when it mixes with the other deck's: either song's arrival changes both.
    for (Side side : {Side::Left, Side::Right})
        analysis(side).showKeyAgainst(analysis(otherSide(side)));
}

void SessionModel::followWaveform(Side side) {
    const decks::DeckAnalysis& a = analysis(side);
    WaveformStripModel& strip = parts_.controls.waveforms;
    strip.setAnalysis(side, a.analysis());
    if (!a.analysis()) return;
    const audio::Handle stream = deck(side).stream();
    strip.setCue(side, a.cueSeconds());
    std::array<double, 8> hotCues{-1, -1, -1, -1, -1, -1, -1, -1};
    const library::HotCues& cues = jumps(side).hotCues();
    for (std::size_t slot = 0; slot < hotCues.size(); ++slot)
        if (cues[slot])
            hotCues[slot] =
                playback::bytesToSeconds(parts_.library, stream, std::uint32_t(*cues[slot]));
    strip.setHotCues(side, hotCues);
    const decks::DeckLoops& loop = loops(side);
    const auto seconds = [&](std::int64_t bytes) {
        return bytes < 0 ? -1.0
                         : playback::bytesToSeconds(parts_.library, stream, std::uint32_t(bytes));
    };
    strip.setLoop(side, seconds(loop.loopIn()), seconds(loop.loopOut()), loop.active());
    strip.setRate(side, a.playbackRate());
    strip.follow(side, parts_.clock.nowMs(), a.positionSeconds(), a.playSpeed());
}

void SessionModel::run_pitchTimer_timer() {
    // The right deck first, then the left.
    pitch_[1]->followSliderAndBend();
    pitch_[0]->followSliderAndBend();
}

void SessionModel::sync(Side side) {
    analysis(side).syncTo(analysis(otherSide(side)));
    focusMixer();
}

void SessionModel::applyLoudness() {
    analysis(Side::Left).applyLoudness();
    analysis(Side::Right).applyLoudness();
}

void SessionModel::setBusyPointer(bool busy) {
    if (parts_.busyPointer) parts_.busyPointer(busy);
}

void SessionModel::processEvents() {
    if (parts_.processEvents) parts_.processEvents();
}

}  // namespace kelvra::app
