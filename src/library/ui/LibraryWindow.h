// The library window: the search line and the compatible filter above, the sources (every song,
// the crates, the sets heard) on the left, the song table on the right, and the folder, crate and
// history buttons with the status line below. A view only: LibraryBrowser has the behaviour.
// Songs are dragged from the table onto a deck, into the playlist or onto a crate in the list.
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

class LibraryWindow final : public BorderlessWindow {
    Q_OBJECT
  public:
    explicit LibraryWindow(LibraryBrowser& browser, QWidget* owner = nullptr);

    LibraryBrowser& browser() { return browser_; }
    // Shows the window without blocking, centred on the screen, with the search ready to type.
    void showCentred();

  signals:
    // Songs dragged from the table: from the drag's start until its drop (or its end elsewhere).
    void songDragStarted(const QStringList& paths);
    void songDragEnded();
    // The DJ asked for these songs at the end of the playlist.
    void addToPlaylistRequested(const QStringList& paths);

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

    LibraryBrowser& browser_;
    QLineEdit* search_ = nullptr;
    QCheckBox* compatible_ = nullptr;
    QListWidget* sources_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    bool showingColumns_ = false;
};

}  // namespace kelvra::library
