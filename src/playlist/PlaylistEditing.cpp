// The editing commands of the playlist window: add, remove, clear, moves, sort and shuffle.
#include <algorithm>

#include "core/Rounding.h"
#include "playlist/PlaylistController.h"

namespace kelvra::playlist {

int PlaylistController::lineUnderPointer(int topRow, double y, double letterHeight, int count) {
    if (count <= 0) return -1;
    const auto height = std::max<std::int64_t>(1, roundEven(letterHeight));
    const auto line = topRow + roundEven(std::max(0.0, y)) / height;
    return static_cast<int>(std::min<std::int64_t>(line, count - 1));
}

QString PlaylistController::stripNumberPrefix(const QString& line) {
    qsizetype i = 0;
    while (i < line.size() && line.at(i).isDigit())
        ++i;
    if (i < line.size() && line.at(i) == u'.') ++i;
    while (i < line.size() && line.at(i) == u' ')
        ++i;
    return line.mid(i);
}

void PlaylistController::addCB_Click() {
    if (busy()) return;
    const QStringList files = dialogs_.openFiles(
        {QStringLiteral("Load Music Files..."), kMusicFilter, loadFilesFolder_, {}, true});
    if (files.isEmpty()) {
        addedSongPath_.clear();
        return;
    }
    loadsongs_to_playlist(files);
    loadFilesFolder_.clear();
}

void PlaylistController::removeCB_Click() {
    if (busy() || count() == 0) return;
    const int position = std::clamp(playlistPosition_, 0, count() - 1);
    const QString title = stripNumberPrefix(displayLine(position));
    if (dialogs_.message(
            QStringLiteral("Remove Song from playlist"),
            QStringLiteral("Remove \"") + title + QStringLiteral("\" from the playlist?"),
            MessageButtons::YesNo, MessageIcon::Information) != MessageResult::Yes)
        return;
    setChanged();
    // The line removed is the selected one, which is normally the current entry as well.
    const int row = selectedRow_ >= 0 && selectedRow_ < count() ? selectedRow_ : position;
    forgetPending(model_.entry(row).id);
    model_.removeAt(row);
    selectedRow_ = -1;
    if (count() == 0) {
        emit selectionChanged(-1);
        runSelectionModel();  // nothing left to be the next song
        emitProgress();
        return;
    }
    selectLine(std::min(row, count() - 1));
    emitProgress();
}

void PlaylistController::clearCB_Click() {
    if (busy() || count() == 0) return;
    if (dialogs_.message(QStringLiteral("Please Confirm..."),
                         QStringLiteral("Remove all songs from the playlist?"),
                         MessageButtons::YesNo, MessageIcon::Exclamation) != MessageResult::Yes)
        return;
    setChanged();
    clearEntries();
}

void PlaylistController::cmdMoveDown_Click() {
    if (busy()) return;
    const int from = playlistPosition_;
    const int to = from + 1;
    if (from < 0 || to >= count()) return;
    setChanged();
    model_.swapRows(from, to);  // the display lines travel with their numbers
    selectLine(to);
}

void PlaylistController::cmdMoveUp_Click() {
    if (busy()) return;
    const int from = playlistPosition_;
    const int to = from - 1;
    if (to < 0 || from >= count()) return;
    setChanged();
    model_.swapRows(from, to);
    selectLine(to);
}

void PlaylistController::sortPlaylist(SortOrder order) {
    if (busy()) return;
    setChanged();
    if (count() < 2) return;
    // The keys are the titles as the tags say now, so every title is read again first.
    pendingSort_ = order;
    emit busyChanged(true);
    model_.markAllUnread();
    requestTitles(0, count() - 1);
    if (pendingTitles_.empty()) finishSort();
}

void PlaylistController::cancelSort() {
    if (!pendingSort_) return;
    pendingSort_.reset();
    emit busyChanged(false);
}

void PlaylistController::finishSort() {
    const SortOrder order = *pendingSort_;
    std::vector<SortRow> rows;
    rows.reserve(static_cast<size_t>(count()));
    for (const PlaylistEntry& e : model_.entries())
        rows.push_back({e.title, e.path});
    quicksortRows(rows, order);

    std::vector<PlaylistEntry> sorted;
    sorted.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        // An entry without a path (a blank line of a playlist file) does not survive a sort, but
        // the numbers still count its place.
        if (rows[i].path.isEmpty()) continue;
        PlaylistEntry e;
        e.path = std::move(rows[i].path);
        e.number = static_cast<int>(i) + 1;
        e.title = std::move(rows[i].key);
        e.titleRead = true;
        sorted.push_back(std::move(e));
        playlistPosition_ = static_cast<int>(i);
    }
    model_.replaceAll(std::move(sorted));
    selectedRow_ = -1;
    pendingSort_.reset();
    emit busyChanged(false);
    listClicked(count() > 0 ? 0 : -1);
}

void PlaylistController::cmdRandomShuffle_Click() {
    if (busy()) return;
    setChanged();
    if (count() < 2) return;
    std::vector<PlaylistEntry> entries = model_.entries();
    playlistPosition_ = 0;
    shuffleByExchanges(count(), uniform_, [&entries](int a, int b) {
        std::swap(entries[static_cast<size_t>(a)], entries[static_cast<size_t>(b)]);
    });
    playlistPosition_ = count() - 1;
    // The display is rebuilt: numbers 1..N in the new order, titles read again. Until a title
    // arrives the entry shows the one it had.
    model_.replaceAll(std::move(entries));
    model_.renumberAndMarkUnread();
    selectedRow_ = -1;
    listClicked(0);
    requestTitles(0, count() - 1);
}

void PlaylistController::cmdID3_Click() {
    if (count() > 0) {
        emit editTagsRequested(selectedRow_ >= 0 ? selectedRow_ : playlistPosition_);
        return;
    }
    QString text = QStringLiteral("Please add some music First...");
    if (!lfAloneFile_.isEmpty()) text += QStringLiteral("\n\n") + lfAloneHint(lfAloneFile_);
    dialogs_.message(QStringLiteral("Error - No Song loaded"), text, MessageButtons::Ok,
                     MessageIcon::Information);
}

void PlaylistController::tagsSaved(int row, const QString& title) {
    model_.setEditedLine(row, title);
    if (hasRow(selectedRow_)) emit nextSongChanged(model_.displayLine(selectedRow_));
}

void PlaylistController::listDoubleClicked() {
    emit hideRequested();
    confirm_close_playlist();
}

void PlaylistController::windowDeactivated() {
    if (count() > 0) return;
    nextSong_.clear();
    emit nextSongChanged(nextSong_);
}

}  // namespace kelvra::playlist
