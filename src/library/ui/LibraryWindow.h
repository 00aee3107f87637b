// The library window: the search line and the compatible filter above, the sources (every song,
// the crates, the sets heard) on the left, the song table on the right, and the folder, crate and
// history buttons with the status line below. A view only: LibraryBrowser has the behaviour.
// Songs are dragged from the table onto a deck, into the playlist or onto a crate in the list;
// from the keyboard, Enter (or a double click) loads the chosen song onto the deck in hand,
// Shift+Left and Shift+Right onto the left and right deck, and Esc closes the window.
// Thread: UI thread only.
#pragma once

#include "core/BorderlessWindow.h"
#include "library/LibraryBrowser.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableView;

namespace kelvra::library {

// The deck a song is asked onto: the one the DJ last worked (the program knows which), or a side.
enum class DeckChoice { InHand, Left, Right };

// Where the window goes on `screen` (its free area) so it leaves `keepClear` (the decks) in
// sight: below it, as tall as the room there allows down to `minimum`, else beside it, else at
// the foot of the screen; never wider or taller than the screen. Centred across what it is given.
QRect placeClearOf(const QRect& screen, const QRect& keepClear, QSize wanted, QSize minimum);

class LibraryWindow final : public BorderlessWindow {
    Q_OBJECT
  public:
    explicit LibraryWindow(LibraryBrowser& browser, QWidget* owner = nullptr);

    LibraryBrowser& browser() { return browser_; }
    // Shows the window without blocking, centred on the screen, with the search ready to type.
    void showCentred();
    // The same, placed by placeClearOf() to leave `keepClear` (global coordinates) in sight.
    void showClearOf(const QRect& keepClear);

    static constexpr QSize kWantedSize{980, 620};
    static constexpr QSize kMinimumSize{640, 300};

  signals:
    // Songs dragged from the table: from the drag's start until its drop (or its end elsewhere).
    void songDragStarted(const QStringList& paths);
    void songDragEnded();
    // The DJ asked for these songs at the end of the playlist.
    void addToPlaylistRequested(const QStringList& paths);
    // The DJ asked for this song on a deck (Enter, a double click, Shift+Left or Shift+Right).
    void loadRequested(const QString& path, kelvra::library::DeckChoice deck);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildTop();
    void buildMiddle();
    void buildBottom();
    void showSources();
    void showColumns();
    void columnsMoved();
    void showHeaderMenu(QPoint at);
    void showRowMenu(QPoint at);
    QStringList selectedPaths() const;
    void askCrateName(bool rename);
    // Asks for the song under the table's cursor on `deck`; false when there is none.
    bool loadCurrent(DeckChoice deck);
    // The keys that load a song, wherever the focus is in the window.
    bool loadKey(const QKeyEvent& key);

    LibraryBrowser& browser_;
    QLineEdit* search_ = nullptr;
    QCheckBox* compatible_ = nullptr;
    QListWidget* sources_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    bool showingColumns_ = false;
};

}  // namespace kelvra::library
