// The main window `quelmaraF`: a borderless window with its own title bar, the three panels
// placed for the DJ set-up, and the next-song row along the bottom. A view only: every control
// is bound to MainControls, which the logic drives. It is dragged by the title bar, the icon, the
// background and the mixer panel; with the mouse over the window the mixer panel keeps the focus.
// It opens at its designed size; maximised (its title bar's button or a double click on the bar)
// or full screen (F11) the panels stand centred at their size and the waveforms and a docked
// playlist take the room that is left.
#pragma once

#include <QTimer>
#include <functional>
#include <optional>

#include "app/MainControls.h"
#include "core/BorderlessWindow.h"

namespace kelvra {
class Clock;
}

namespace kelvra::app {

class KeyboardMap;
class KeyboardSheetView;
class DeckPanelView;
class EffectsRowView;
class MixerPanelView;
class WaveformStripView;

class MainWindowView : public BorderlessWindow {
    Q_OBJECT
  public:
    explicit MainWindowView(MainControls& controls, QWidget* parent = nullptr);

    // Lets the deck titles scroll on the program's clock.
    void setClock(Clock& clock);
    // Places the panels for controls.djSetup and sizes the window to them (the designed size,
    // unless maximised or full screen). Runs by itself when MainControls::setDjSetup() is called.
    void relayout();
    // The designed size for the set-up, the waveforms and the dock as they are now.
    QSize designedSize() const;
    // Where the room beyond the designed size goes in a window of `window`: the panels move
    // right by `shift` (centred), the waveforms and a docked playlist grow by the extras.
    struct Room {
        int shift = 0, stripExtra = 0, dockExtra = 0;
        bool operator==(const Room&) const = default;
    };
    static Room roomFor(QSize window, QSize designed, bool waveforms, bool docked);
    void toggleMaximized();
    void toggleFullScreen();
    // Asked whenever the window is about to close, whatever the reason; false keeps it open.
    void setCloseGuard(std::function<bool()> canClose) { canClose_ = std::move(canClose); }

    QWidget& panel(Panel panel) const;
    // The decks and the mixer together, in global coordinates: what other windows leave in sight.
    QRect mixingSurface() const;
    // The playlist window, docked below the decks whenever controls.playlistDocked says so.
    void setPlaylistWindow(BorderlessWindow* playlist);

    // Every key pressed while this window is active goes to `keyboard` before any control, and
    // the map's keys stop there. Also builds the keyboard sheet from the map.
    void setKeyboard(KeyboardMap& keyboard);
    // Whether the platform sends a held key's repeats as release-and-press pairs that it may fail
    // to mark (X11 does); such a release is held back briefly and dropped when its press follows.
    // On by itself under X11; tests switch it on.
    void setRepeatsAsReleases(bool on) { repeatsAsReleases_ = on; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void dockPlaylist();
    int wantedHeight() const;
    int effectsHeight() const;  // the effect units' row and its gap, when shown
    // Puts every child where the window's present size has room for it.
    void placeChildren();
    bool sizedFreely() const;
    void bindWindowButtons();
    void buildBottomRow();
    bool keyEvent(QObject* watched, QEvent* event);
    void releaseHeldBack();

    MainControls& controls_;
    DeckPanelView* leftDeck_;
    MixerPanelView* mixer_;
    DeckPanelView* rightDeck_;
    QWidget* playlistButton_ = nullptr;
    QWidget* libraryButton_ = nullptr;
    QWidget* effectsButton_ = nullptr;
    EffectsRowView* effectsRow_ = nullptr;
    QWidget* nextSong_ = nullptr;
    WaveformStripView* strip_ = nullptr;
    BorderlessWindow* playlist_ = nullptr;
    std::function<bool()> canClose_;
    KeyboardMap* keyboard_ = nullptr;
    KeyboardSheetView* sheet_ = nullptr;
    class KeyFilter;
    KeyFilter* keyFilter_ = nullptr;
    bool repeatsAsReleases_ = false;
    struct Release {
        int code = 0, mask = 0;
        quint64 time = 0;
    };
    std::optional<Release> heldBack_;
    QTimer* heldBackTimer_ = nullptr;
};

}  // namespace kelvra::app
