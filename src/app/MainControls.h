// Every control of the main window as a model: the two deck panels, the mixer panel and the
// controls that sit on the window itself. The view lays them out; the logic drives them.
#pragma once

#include <array>

#include "app/WaveformStrip.h"
#include "core/ControlModels.h"
#include "decks/DeckControls.h"
#include "effects/EffectControls.h"

namespace kelvra::app {

// Panel order from the left for each DJ set-up.
enum class Panel { LeftDeck, Mixer, RightDeck };
std::array<Panel, 3> panelOrder(int djSetup);

// Where each panel goes, in twips (1/1440 inch; 15 per pixel at 96 dpi), given each panel's
// width: the first at 140, each next one 10 twips after the previous one's right edge.
struct PanelPlacement {
    int left = 0;
    int top = 0;
};
std::array<PanelPlacement, 3> placePanels(int djSetup, int leftDeckWidth, int mixerWidth,
                                          int rightDeckWidth);  // indexed by Panel

inline constexpr int kTwipsPerPixel = 15;

// Tells the main window to place its panels again when the DJ set-up changes.
// Also when the DJ docks the playlist window below the decks or lets it float again.
class LayoutNotifier : public QObject {
    Q_OBJECT
  signals:
    void djSetupChanged(int djSetup);
    void playlistDockChanged(bool docked);
};

// Where the logic wants the keyboard focus to go; the view moves it.
enum class FocusTarget { Mixer, LeftPlay, RightPlay };
class FocusRequests : public QObject {
    Q_OBJECT
  public:
    void request(FocusTarget target) {
        last_ = target;
        emit requested(target);
    }
    FocusTarget last() const { return last_; }
  signals:
    void requested(FocusTarget target);

  private:
    FocusTarget last_ = FocusTarget::Mixer;
};

struct MainControls {
    // Builds every control and has each part register its own.
    MainControls();
    MainControls(const MainControls&) = delete;
    MainControls& operator=(const MainControls&) = delete;

    decks::DeckControls& deck(Side side) { return side == Side::Left ? left : right; }
    const decks::DeckControls& deck(Side side) const { return side == Side::Left ? left : right; }

    QString titleCaption;  // the title bar's caption
    ButtonModel close;
    ButtonModel minimize;
    ButtonModel previousSong;  // upCB
    ButtonModel nextSong;      // downCB
    ButtonModel openPlaylist;  // playListCB
    ButtonModel openLibrary;   // libraryCB: the song library, beside the playlist
    TextModel nextSongText;    // nextSongTXT: the next song's line; dragged onto a deck
    // The eleven single-key hints beside the controls (keyboardTXT 0..10): visible or not.
    std::array<ButtonModel, 11> keyboardHints;
    // The sheet listing every key of the keyboard map; shown by "?", hidden by Esc.
    ButtonModel keyboardSheet;
    decks::DeckControls left{Side::Left};
    decks::DeckControls right{Side::Right};
    decks::MixerControls mixer;
    // Lights in the title bar at the first audio dropout with the count; a click clears it.
    ButtonModel dropouts;
    // Both decks' scrolling waveforms, below the panels; hidden with the option off.
    WaveformStripModel waveforms;
    // The four effect units, in a row the DJ shows or hides.
    effects::EffectControls effects;
    int djSetup = 0;  // panel order, see panelOrder()

    // Sets djSetup and has the window rearrange its panels at once.
    void setDjSetup(int setup) {
        djSetup = setup;
        emit layout.djSetupChanged(setup);
    }
    // Whether the playlist window sits in the main window below the decks, where it covers
    // nothing, or floats over it as its own window.
    bool playlistDocked = false;
    void setPlaylistDocked(bool docked) {
        if (playlistDocked == docked) return;
        playlistDocked = docked;
        emit layout.playlistDockChanged(docked);
    }
    LayoutNotifier layout;
    FocusRequests focus;
    // Every control above by its names: the decks', the mixer's and the window's own.
    ControlRegistry registry;
};

}  // namespace kelvra::app
