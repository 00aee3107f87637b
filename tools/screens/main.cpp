// Grabs Kelvra's windows to PNG, filled with plausible values, so their look can be checked
// without a screen:  QT_QPA_PLATFORM=offscreen kelvra-screens <folder>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

#include "app/MainControls.h"
#include "app/SetRecorder.h"
#include "app/SplashControls.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/SplashView.h"
#include "core/QtDialogs.h"
#include "core/Theme.h"
#include "decks/DeckAnalysis.h"
#include "decks/DeckTone.h"
#include "effects/EffectUnits.h"
#include "library/LibraryBrowser.h"
#include "library/ui/LibraryWindow.h"
#include "playlist/ui/PlaylistWindow.h"
#include "session/HeadlessProgram.h"
#include "settings/MemorySettingsStore.h"
#include "settings/OptionsControls.h"
#include "settings/ui/AssociateWindow.h"
#include "settings/ui/OptionsWindowView.h"
#include "tags/DisplayText.h"
#include "tags/GenreTable.h"
#include "tags/TagEditorControls.h"
#include "tags/ui/TagEditorWindow.h"

using namespace kelvra;

namespace {

void fillDeck(decks::DeckControls& deck, const QString& title, const QString& time,
              const QString& pitch, int position, bool playing) {
    deck.display.setDisplayText(title + QStringLiteral("          Kelvra - The Ultimate DJ Mix"));
    const tags::Headline headline = tags::headlineOf(title, QString());
    deck.display.setHeadline(headline.title, headline.artist);
    deck.display.setElapsedText(QStringLiteral("00:02:31"));
    deck.display.setTimeText(time);
    deck.display.setPitchText(pitch);
    deck.display.setPositionBar(position);
    deck.display.setLamp(DeckDisplayModel::Play, playing);
    deck.display.setLamp(DeckDisplayModel::Pause, !playing);
    deck.display.setLamp(DeckDisplayModel::Cue, !playing);
    deck.speed44.setBackColour(kColourOn);
    deck.speed22.setBackColour(kColourOff);
    deck.playCue.setBackColour(kColourOff);
}

// A song's analysis as the analyser would give it, made up: a four-to-the-floor beat with a bass
// line, off-beat hats and a breakdown, so the waveforms look like music.
audio::analysis::AnalysisSnapshot demoAnalysis(double bpm, double firstBeat, double seconds,
                                               unsigned seed) {
    auto analysis = std::make_shared<audio::analysis::SongAnalysis>();
    analysis->bpm = bpm;
    analysis->firstBeatSeconds = firstBeat;
    analysis->seconds = seconds;
    analysis->lufs = -9.5;
    analysis->truePeakDbfs = -0.3;
    auto& wave = analysis->waveform;
    wave.rate = 44100;
    wave.blockFrames = 441;
    const auto blocks = std::size_t(seconds * 100);
    wave.blocks.resize(blocks);
    std::uint32_t noise = seed;
    const auto random = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return double(noise >> 8) / double(1u << 24);
    };
    const double beat = 60.0 / bpm;
    for (std::size_t b = 0; b < blocks; ++b) {
        const double t = double(b) / 100.0;
        const double intro = std::min(1.0, t / 20.0);
        const bool breakdown = std::fmod(t, 96 * beat) > 80 * beat;
        const double inBeat = std::fmod(std::max(0.0, t - firstBeat), beat) / beat;
        const double kick = breakdown ? 0.15 : std::exp(-inBeat * 9.0);
        const double hat = std::exp(-std::abs(inBeat - 0.5) * 40.0);
        const double lows = std::clamp((0.25 + 0.7 * kick) * intro + 0.05 * random(), 0.0, 1.0);
        const double mids =
            std::clamp(0.3 + 0.25 * random() + (breakdown ? 0.2 : 0.1 * kick), 0.0, 1.0);
        const double highs = std::clamp(0.1 + 0.45 * hat * intro + 0.1 * random(), 0.0, 1.0);
        const double bands[3] = {lows, mids * intro, highs};
        for (int band = 0; band < 3; ++band) {
            wave.blocks[b].peak[std::size_t(band)] = std::uint8_t(std::lrint(bands[band] * 255));
            wave.blocks[b].rms[std::size_t(band)] = std::uint8_t(std::lrint(bands[band] * 150));
        }
    }
    return analysis;
}

void fillAnalysis(app::MainControls& controls) {
    const auto left = demoAnalysis(126, 0.21, 412, 7);
    const auto right = demoAnalysis(124, 0.48, 365, 11);
    controls.left.display.setOverview(decks::overviewOf(left->waveform, 480));
    controls.right.display.setOverview(decks::overviewOf(right->waveform, 480));
    controls.left.display.setCueMarks(0.12, 0.05);
    controls.right.display.setCueMarks(0.0, -1);
    controls.left.display.setTempoText(QStringLiteral("126.0 \u2192 127.9 BPM"));
    controls.right.display.setTempoText(QStringLiteral("124.0 \u2192 123.0 BPM"));
    // A Sync refusal as the deck shows it, beside its tempo line.
    controls.right.display.setNoticeText(QStringLiteral("Sync: beyond the pitch range"));
    controls.waveforms.setAnalysis(Side::Left, left);
    controls.waveforms.setAnalysis(Side::Right, right);
    controls.waveforms.follow(Side::Left, 0, 222.0, 0);
    controls.waveforms.follow(Side::Right, 0, 1.4, 0);
    controls.waveforms.setCue(Side::Left, 220.3);
    controls.waveforms.setCue(Side::Right, 0.48);
    // The right deck synced to the left one: its song runs 126/124 as fast, and both lanes show
    // the beats equally far apart. The left deck's four-beat loop as the strip shows it.
    controls.waveforms.setRate(Side::Left, 1.0);
    controls.waveforms.setRate(Side::Right, 126.0 / 124.0);
    controls.waveforms.setLoop(Side::Left, 221.16, 221.16 + 4 * 60.0 / 126, true);
}

void fillMain(app::MainControls& controls) {
    fillDeck(
        controls.left,
        QStringLiteral("TITLE:  Midnight Run (Extended Mix)          ARTIST:  DJ Nova          "
                       "ALBUM:  Night Shift          YEAR:  2024"),
        QStringLiteral("00:03:42"), QStringLiteral(" + 1.50%"), 38, true);
    fillDeck(controls.right,
             QStringLiteral("TITLE:  Slow Burn          ARTIST:  Analog Hearts          ALBUM:  "
                            "Embers"),
             QStringLiteral("00:05:10"), QStringLiteral(" - 0.80%"), 0, false);
    controls.left.display.setSearchArrow(2);
    controls.right.display.setSearchArrow(0);
    controls.right.display.setSearchIndicator(0);
    controls.left.pitch.setValue(1150);
    controls.right.pitch.setValue(920);
    controls.left.volume.setValue(10);
    controls.right.volume.setValue(25);
    controls.mixer.crossFader.setValue(35);
    // A DJ mid-blend: the incoming deck's bass cut and treble killed, the outgoing one filtered.
    controls.left.eqLow.setValue(18);
    controls.left.killHigh.setBackColour(decks::kKillColour);
    controls.left.gain.setValue(60);
    controls.right.filter.setValue(72);
    controls.right.eqMid.setValue(70);
    // Hot cues on both decks, their pads lit and their marks on the overview.
    for (auto [deck, pads] : {std::pair{&controls.left, std::array{0, 1, 4}},
                              std::pair{&controls.right, std::array{0, 2, 3}}}) {
        DeckDisplayModel::HotCueMarks marks{-1, -1, -1, -1, -1, -1, -1, -1};
        for (int slot : pads) {
            deck->hotCue[slot].setBackColour(kHotCueColours[slot]);
            marks[std::size_t(slot)] = 0.12 + 0.17 * slot;
        }
        deck->display.setHotCueMarks(marks);
    }
    controls.left.quantize.setBackColour(kColourOn);
    // Keys that mix: the left lit against the right.
    controls.left.display.setKey(QStringLiteral("8A  A minor"), true);
    controls.right.display.setKey(QStringLiteral("8B  C major"), true);
    // A four-beat loop playing on the left deck.
    controls.left.display.setLoopMarks(221.16 / 412, (221.16 + 4 * 60.0 / 126) / 412, true);
    for (ButtonModel* lit :
         {&controls.left.loopIn, &controls.left.loopOut, &controls.left.beatLoop[5]})
        lit->setBackColour(kColourOn);
    controls.mixer.monitorVolume.setValue(30);
    controls.mixer.monitor[2].setBackColour(kColourOn);
    controls.mixer.autoDJ.setBackColour(kColourOff);
    controls.left.play.setBackColour(kColourNone);
    controls.nextSongText.setText(QStringLiteral("8. Sunset Drive - Coastline (Radio Edit)"));
    controls.mixer.record.setCaption(QStringLiteral("REC"));
    controls.mixer.record.setBackColour(app::kRecordingColour);
    controls.mixer.recordText.setText(app::recordingText(754 * 44100, 44100, 85'200'000));
}

// The meters' peak marks are the widgets' own, so the levels are written once the view exists.
void fillMeters(app::MainControls& controls) {
    // Two meter updates: the first leaves the peak marks above the levels of the second.
    controls.left.meter.setFirstLevel(29000);
    controls.left.meter.setSecondLevel(31000);
    controls.left.meter.setFirstLevel(21000);
    controls.left.meter.setSecondLevel(19500);
    controls.right.meter.setFirstLevel(0);
    controls.right.meter.setSecondLevel(0);
    controls.mixer.mainMeter.setFirstLevel(30500);
    controls.mixer.mainMeter.setSecondLevel(30000);
    controls.mixer.mainMeter.setFirstLevel(24000);
    controls.mixer.mainMeter.setSecondLevel(26500);
}

// A small library in a scratch file: a crate, a set heard last night, tempo and key for most.
void fillLibrary(library::Library& songs) {
    struct Entry {
        const char *artist, *title, *album, *genre;
        double bpm;
        int key;
        double seconds;
    };
    const Entry entries[] = {
        {"DJ Nova", "Midnight Run", "Night Drive", "House", 124, 21, 372},
        {"Analog Hearts", "Slow Burn", "Embers", "Deep House", 122, 14, 401},
        {"Night Drive", "Neon Hours", "Neon Hours EP", "Techno", 128, 16, 455},
        {"Kairo", "Glass Steps", "Glass", "Progressive", 125, 9, 389},
        {"Mira Vale", "Undertow", "Tides", "Melodic Techno", 123, 19, 424},
        {"Low Orbit", "Satellite", "Signals", "Electro", 131, 4, 318},
        {"Ferro", "Iron Lung", "Foundry", "Techno", 132, 11, 366},
        {"Dusk Pilot", "Runway Lights", "Approach", "House", 126, 21, 347},
        {"Sola", "Heliotrope", "Bloom", "Downtempo", 98, 2, 296},
        {"The Quiet Set", "Last Tram", "Late", "Ambient", 0, -1, 512},
    };
    for (const Entry& e : entries) {
        library::SongFacts facts;
        facts.path = QStringLiteral("/music/%1 - %2.mp3").arg(e.artist, e.title);
        facts.size = 1;
        facts.fingerprint = facts.path.toUtf8();
        facts.artist = e.artist;
        facts.title = e.title;
        facts.album = e.album;
        facts.genre = e.genre;
        facts.seconds = e.seconds;
        if (e.bpm > 0) facts.bpm = e.bpm;
        facts.key = e.key;
        const QString path = facts.path;
        songs.store(std::move(facts));
        if (e.bpm >= 124 && e.bpm <= 128) songs.addToCrate(QStringLiteral("Peak time"), path);
    }
    songs.makeCrate(QStringLiteral("Warm-up"));
    const std::int64_t lastNight = 1796500000;
    songs.addHeard(QStringLiteral("/music/Sola - Heliotrope.mp3"), lastNight);
    songs.addHeard(QStringLiteral("/music/Analog Hearts - Slow Burn.mp3"), lastNight + 290);
    songs.addHeard(QStringLiteral("/music/DJ Nova - Midnight Run.mp3"), lastNight + 650);
    songs.writer().flush();
}

bool save(QWidget& window, const QString& path) {
    window.show();
    QApplication::processEvents();
    const bool ok = window.grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    theme::apply(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvra-screens <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) return 1;
    bool ok = true;

    for (int setup = 0; setup < 3; ++setup) {
        app::MainControls controls;
        fillMain(controls);
        fillAnalysis(controls);
        // The shortcut hints start hidden; the club layout is grabbed with them shown (F2).
        for (ButtonModel& hint : controls.keyboardHints)
            hint.setVisible(setup == 0);
        app::MainWindowView view(controls);
        fillMeters(controls);
        controls.setDjSetup(setup);
        // The main layout shows the dropout lamp lit, as after three late periods.
        controls.dropouts.setCaption(QStringLiteral("\u26A0 3"));
        controls.dropouts.setVisible(setup == 1);
        // ... and both decks with the elapsed time beside the time left.
        for (Side side : {Side::Left, Side::Right})
            controls.deck(side).display.setShowsElapsed(setup == 1);
        ok &= save(view, folder.filePath(QStringLiteral("main-setup%1.png").arg(setup)));
    }

    {
        // The keyboard sheet over the real window logic, so it lists the real map.
        session::HeadlessProgram program({44100, {}, {}});
        ok &= program.start();
        app::MainControls& controls = program.window().controls();
        fillMain(controls);
        app::MainWindowView view(controls);
        view.setKeyboard(program.window().keyboard());
        controls.keyboardSheet.setVisible(true);
        ok &= save(view, folder.filePath(QStringLiteral("main-keyboard-sheet.png")));
        // The playlist docked below the decks, over the same logic.
        controls.keyboardSheet.setVisible(false);
        fillMeters(controls);
        program.playlist().loadsongs_to_playlist(
            {QStringLiteral("/music/DJ Nova - Midnight Run.mp3"),
             QStringLiteral("/music/Analog Hearts - Slow Burn.mp3"),
             QStringLiteral("/music/Night Drive - Neon Hours.mp3")});
        QtDialogs dialogs;
        playlist::PlaylistWindow playlistWindow(program.playlist(), dialogs);
        view.setPlaylistWindow(&playlistWindow);
        controls.setPlaylistDocked(true);
        ok &= save(view, folder.filePath(QStringLiteral("main-docked-playlist.png")));
        controls.setPlaylistDocked(false);
        view.setPlaylistWindow(nullptr);
        playlistWindow.hide();
        // The effect units shown, over the real units: an echo and a gate on the left deck, a
        // plugin on the right deck, a reverb and a flanger on the main mix.
        effects::EffectUnits& units = program.window().effects();
        units.load(0, 1, QStringLiteral("gate"));
        units.load(1, 0, QStringLiteral("lv2:http://lv2plug.in/plugins/eg-amp"));
        units.setParam(1, 0, QStringLiteral("gain"), -6);
        units.setParam(0, 0, QStringLiteral("time"), 0.75);
        controls.effects.units[0].on.click();
        controls.effects.units[2].on.click();
        controls.effects.units[2].mix.setValue(35);
        controls.effects.show.click();
        ok &= save(view, folder.filePath(QStringLiteral("main-effects.png")));
    }

    {
        // The library window, the search typed and the playing deck's key lit.
        QTemporaryDir scratch;
        library::Library songs(scratch.filePath(QStringLiteral("library.sqlite")));
        fillLibrary(songs);
        settings::MemorySettingsStore store;
        QtDialogs dialogs;
        library::LibraryBrowser browser(
            {songs, store, dialogs, QString(), QString(), [] {
                 return std::optional(library::MixReference{125, 21, {}});
             }});
        library::LibraryWindow window(browser);
        ok &= save(window, folder.filePath(QStringLiteral("library.png")));
    }

    settings::OptionsControls options;
    options.device.addItem(QStringLiteral("Default Sound Device"));
    options.device.addItem(QStringLiteral("Null output"));
    options.device.setCurrentIndex(0);
    options.quality.addItem(QStringLiteral("CD Quality - 44100Hz"));
    options.quality.addItem(QStringLiteral("FM Quality - 22100Hz"));
    options.quality.setCurrentIndex(1);
    options.seekAccuracy.setCurrentIndex(0);
    options.outputBackend.setCurrentIndex(0);
    options.outputPeriod.setCurrentIndex(2);
    options.outputRate.setCurrentIndex(0);
    options.outputMain.addItem(QStringLiteral("Default Sound Device"));
    options.outputMain.setCurrentIndex(0);
    options.outputPhones.addItem(QStringLiteral("Channels 3/4 of the main device"));
    options.outputPhones.setCurrentIndex(0);
    options.outputLatency.setText(QStringLiteral(
        "PulseAudio/PipeWire: 58.0 ms latency, 44100 Hz, 256-frame periods, headphones on their "
        "own output"));
    options.djSetup.setCurrentIndex(0);
    options.skipSilence.setCurrentIndex(0);
    options.showWaveforms.setValue(1);
    options.midiInputs.setEntries(
        {{QStringLiteral("Mixer Two:Mixer Two MIDI 1"), {}, true},
         {QStringLiteral("Midi Through:Midi Through Port-0"), {}, false},
         {QStringLiteral("Pad Eight:Pad Eight MIDI 1"), {}, false},
         {QStringLiteral("Jog Pair:Jog Pair MIDI 1"), QStringLiteral("not plugged in"), true}});
    options.midiOutputs.setEntries({{QStringLiteral("Mixer Two:Mixer Two MIDI 1"), {}, true},
                                    {QStringLiteral("Midi Through:Midi Through Port-0"), {}, false},
                                    {QStringLiteral("Pad Eight:Pad Eight MIDI 1"), {}, false}});
    options.controllerMapping.addItem(QStringLiteral("None"));
    options.controllerMapping.addItem(QStringLiteral("Mixer Two"));
    options.controllerMapping.setCurrentIndex(1);
    options.midiStatus.setText(QStringLiteral("1 of 3 inputs and 1 of 3 outputs in use"));
    options.playlistPath.setText(QStringLiteral("/home/dj/.local/share/Kelvra/Playlists"));
    settings::OptionsWindowView optionsView(options);
    ok &= save(optionsView, folder.filePath(QStringLiteral("options.png")));

    tags::TagEditorControls tagControls;
    for (tags::TagBoxes& boxes : tagControls.boxes) {
        boxes.genre.addItem(QString());
        for (const QString& genre : tags::genreTable())
            boxes.genre.addItem(genre);
    }
    tags::TagBoxes& id3v1 = tagControls.boxes[tags::kViewID3v1];
    id3v1.song.setText(QStringLiteral("Midnight Run (Extended Mix)"));
    id3v1.artist.setText(QStringLiteral("DJ Nova"));
    id3v1.album.setText(QStringLiteral("Night Drive"));
    id3v1.year.setText(QStringLiteral("2024"));
    id3v1.comments.setText(QStringLiteral("Ночь"));
    id3v1.genre.setCurrentIndex(1 + 52);
    tagControls.id3v1Notice.setText(
        QStringLiteral("ID3v1 cannot store Ночь - use the ID3v2 tag for these characters."));
    tagControls.ID3ver.setCurrentIndex(tags::kViewID3v1);
    tagControls.ID3ver.setItemEnabled(tags::kViewWma, false);
    tagControls.frameTagInfo.setCurrentIndex(tags::kViewID3v1);
    tags::TagEditorWindow tagView(tagControls);
    ok &= save(tagView, folder.filePath(QStringLiteral("tag-editor.png")));

    settings::AssociateControls associate;
    associate.chkMP3.setValue(1);
    associate.chkWAV.setValue(1);
    associate.chkStartupShow.setValue(1);
    settings::AssociateWindow associateView(associate);
    ok &= save(associateView, folder.filePath(QStringLiteral("associate.png")));

    app::SplashControls splash;
    splash.version.setText(QStringLiteral("version 0.1 build 1"));
    splash.loading.setText(QStringLiteral("Loading Playlist: 42 Songs done..."));
    app::SplashView splashView(splash);
    ok &= save(splashView, folder.filePath(QStringLiteral("splash.png")));
    return ok ? 0 : 1;
}
