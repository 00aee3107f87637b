// The playlist window's logic without the window: the entries, the current playlist file and its
// changed flag, the selection that makes an entry the next song, and every command of the window
// (files, editing, sorting, shuffling). The widgets in playlist/ui only draw it and forward
// input, so everything here can be driven by tests with scripted dialogs and a virtual clock.
//
// Seam for the main window (it connects to these when it exists):
//   - nextSongChanged(text): the display line of the next song, for its `nextSongTXT` box
//     (empty when there is none); nextSong() is that entry's path for the decks and Auto-DJ.
//   - playlistPosition()/setPlaylistPosition() and selectLine(): the next/previous buttons and
//     Auto-DJ move the current entry; path(row) gives the file to load.
//   - loadsongs_to_playlist(), addCB_Click() then addedSongPath(): the decks' load buttons and a
//     song named on the command line.
//   - removeCB_Click(): the "Remove from Playlist?" answer when a song cannot be opened.
//   - save_playlist(), playlistChanged(), currentPlaylist(): the main window's close prompt.
//   - editTagsRequested(row): the tag editor opens on that entry.
//   - songsAdded(paths): new entries, for the analysis that runs ahead of the decks.
//
// Titles are read by a TitleService; commands never wait for them. Entries appear at once with
// their file name and get their title when it has been read. Only sorting needs every title
// first: while a sort waits for them, busy() is true and the commands that change entries do
// nothing (the window disables their buttons), so a sort never works on a list that changed
// under it. Thread: UI thread only.
#pragma once

#include <QObject>
#include <QStringList>
#include <optional>
#include <unordered_set>

#include "core/Dialogs.h"
#include "playlist/M3u.h"
#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistOrder.h"
#include "playlist/TitleService.h"

namespace kelvra::settings {
class SettingsStore;
}

namespace kelvra::playlist {

inline const QString kUnnamedCaption = QStringLiteral("DJ PLAYLIST");
inline const QString kLastPlaylistValue = QStringLiteral("Last Playlist");
inline const QString kPlaylistPathValue = QStringLiteral("playlistPath");
inline const QString kMusicFilter =
    QStringLiteral("Music Files (mp3,wav,asf,wma) (*.mp3 *.wav *.asf *.wma);;All Files (*.*) (*)");
inline const QString kPlaylistFilter =
    QStringLiteral("Quelmara Playlist File (*.m3u);;All files (*)");

class PlaylistController final : public QObject {
    Q_OBJECT
  public:
    // `programFolder` holds the "DJMixes" and "Playlists" folders the dialogs start in.
    PlaylistController(Dialogs& dialogs, settings::SettingsStore& settings, TitleService& titles,
                       QString programFolder, UniformSource uniform = defaultUniformSource(),
                       QObject* parent = nullptr);
    ~PlaylistController() override;

    PlaylistModel& model() { return model_; }
    const PlaylistModel& model() const { return model_; }
    int count() const { return model_.count(); }
    // Empty for a row that does not exist.
    QString path(int row) const { return hasRow(row) ? model_.path(row) : QString(); }
    QString displayLine(int row) const { return hasRow(row) ? model_.displayLine(row) : QString(); }
    bool hasRow(int row) const { return row >= 0 && row < count(); }

    QString currentPlaylist() const { return currentPlaylist_; }
    QString playlistSaveFile() const { return playlistSaveFile_; }
    bool playlistChanged() const { return playlistChanged_; }
    int playlistPosition() const { return playlistPosition_; }
    void setPlaylistPosition(int position) { playlistPosition_ = position; }
    int entryCounter() const { return entryCounter_; }
    QString addedSongPath() const { return addedSongPath_; }
    QString nextSong() const { return nextSong_; }
    QString caption() const { return caption_; }
    int selectedRow() const { return selectedRow_; }
    // A sort is waiting for titles; entry-changing commands are refused meanwhile.
    bool busy() const { return pendingSort_.has_value(); }
    // Titles asked for and not yet read.
    int titlesPending() const { return static_cast<int>(pendingTitles_.size()); }

    // Selects a line (-1: none). As with a list control, the selection model runs only when the
    // selection actually changes.
    void selectLine(int row);
    // A click on a line: the selection model runs whatever was selected before.
    void listClicked(int row);

    // Files and the current playlist.
    void loadsongs_to_playlist(const QStringList& files);
    void new_playlist();
    void Load_playlist(const QString& path);
    bool open_playlist(const QString& path);
    void save_playlist();
    void newPlaylistCB_Click();
    void openPlaylistCB_Click();
    void importPlaylistCB_Click();
    void saveCB_Click();
    void confirm_close_playlist();
    // The window's first load: dialog folders, then the playlist on the command line or the one
    // remembered from the last run.
    void startUp(const QString& commandLine);
    // The window closes for good at program exit.
    void closeForGood();

    // Editing.
    void addCB_Click();
    void removeCB_Click();
    void clearCB_Click();
    void cmdMoveUp_Click();
    void cmdMoveDown_Click();
    void cmdAZsort_Click() { sortPlaylist(SortOrder::AToZ); }
    void cmdZAsort_Click() { sortPlaylist(SortOrder::ZToA); }
    void cmdRandomShuffle_Click();
    void cmdID3_Click();
    // The tag editor saved entry `row`: its line shows the new `title`, and the next-song box
    // the selected line.
    void tagsSaved(int row, const QString& title);
    void listDoubleClicked();
    void windowDeactivated();

    // The line under the pointer for the right-click menu: the top visible line plus the
    // pointer's distance from the list's top in letter heights; below the last line, the last.
    // -1 for an empty list.
    static int lineUnderPointer(int topRow, double y, double letterHeight, int count);
    // The title of a display line: the line without its number, period and following spaces.
    static QString stripNumberPrefix(const QString& line);
    // The caption for a playlist file: its name without the last four characters (".m3u").
    static QString captionFor(const QString& playlistFile);

  signals:
    void captionChanged(const QString& caption);
    void nextSongChanged(const QString& displayLine);
    void selectionChanged(int row);
    void hideRequested();
    void editTagsRequested(int row);
    // How far title reading has got; (0, 0) when nothing is waiting.
    void titleProgress(int done, int total);
    void busyChanged(bool busy);
    // Songs that joined the playlist (added, dropped or read from a playlist file), in order.
    void songsAdded(const QStringList& paths);

  private:
    void setCaption(const QString& caption);
    void setChanged() { playlistChanged_ = true; }
    void runSelectionModel();
    void clearEntries();
    void appendEntries(const QStringList& paths, int firstNumber, bool numberByCounter);
    void requestTitles(int firstRow, int lastRow);
    void onTitles(std::vector<TitleResult> results);
    void forgetPending(EntryId id);
    void emitProgress();
    void sortPlaylist(SortOrder order);
    void cancelSort();  // the entries keep their order; titles still arriving are only shown
    void finishSort();

    Dialogs& dialogs_;
    settings::SettingsStore& settings_;
    TitleService& titles_;
    QString programFolder_;
    UniformSource uniform_;
    PlaylistModel model_;

    QString currentPlaylist_;
    QString playlistSaveFile_;
    bool playlistChanged_ = false;
    // The playlist's file began with a byte order mark: its saves write one too.
    ByteOrderMark byteOrderMark_ = ByteOrderMark::Without;
    ByteOrderMark lastReadMark_ = ByteOrderMark::Without;  // of the file open_playlist read last
    // The last playlist file read, when its lines ended in LF alone and so gave no songs: an
    // empty playlist's messages say why it is empty.
    QString lfAloneFile_;
    int playlistPosition_ = 0;
    int entryCounter_ = 0;
    QString addedSongPath_;
    QString nextSong_;
    QString caption_ = kUnnamedCaption;
    int selectedRow_ = -1;

    // Initial folders of the three dialogs; each is used once, then the dialog remembers.
    QString loadFilesFolder_;
    QString openPlaylistFolder_;
    QString savePlaylistFolder_;

    std::unordered_set<EntryId> pendingTitles_;
    int titlesDone_ = 0;
    std::optional<SortOrder> pendingSort_;
};

}  // namespace kelvra::playlist
