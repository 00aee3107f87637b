#include "playlist/PlaylistSearch.h"

#include "core/Dialogs.h"
#include "playlist/M3u.h"
#include "playlist/PlaylistController.h"

namespace kelvra::playlist {

bool PlaylistSearch::matches(int row) const {
    return playlist_.displayLine(row).contains(searchText_, Qt::CaseInsensitive);
}

void PlaylistSearch::report(bool found) {
    if (found) {
        playlist_.listClicked(searchPosition_);
        searchFound_ = true;
        return;
    }
    dialogs_.message(QString(), QStringLiteral("Can't find the song"), MessageButtons::Ok,
                     MessageIcon::Exclamation);
}

void PlaylistSearch::findFirst(const QString& text) {
    searchFound_ = false;
    searchText_ = trimSpaces(text);
    if (searchText_.isEmpty()) return;
    const int n = playlist_.count();
    for (searchPosition_ = 0; searchPosition_ < n; ++searchPosition_)
        if (matches(searchPosition_)) return report(true);
    report(false);
}

void PlaylistSearch::findNext(const QString& text) {
    searchFound_ = false;
    searchText_ = trimSpaces(text);
    if (searchText_.isEmpty()) return;
    const int n = playlist_.count();
    if (searchPosition_ >= n - 1) searchPosition_ = -1;  // wrap to the top
    for (++searchPosition_; searchPosition_ < n; ++searchPosition_)
        if (matches(searchPosition_)) return report(true);
    report(false);  // searchPosition_ is N now: the next search starts at the top
}

void PlaylistSearch::findPrevious(const QString& text) {
    searchFound_ = false;
    searchText_ = trimSpaces(text);
    if (searchText_.isEmpty()) return;
    const int n = playlist_.count();
    if (searchPosition_ < 0) searchPosition_ = n;  // wrap to the bottom
    for (--searchPosition_; searchPosition_ >= 0; --searchPosition_)
        if (searchPosition_ < n && matches(searchPosition_)) return report(true);
    searchPosition_ = -1;  // the next search starts again with the last entry
    report(false);
}

}  // namespace kelvra::playlist
