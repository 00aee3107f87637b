// The payload of a song dragged from the next-song box onto a deck: the entry's text, under a
// type of its own so that drops from elsewhere (a file manager, another program) are not taken
// for it.
#pragma once

#include <QMimeData>
#include <QString>

namespace kelvra::widgets {

inline constexpr const char* kSongMimeType = "application/x-kelvra-song";

inline QMimeData* makeSongMimeData(const QString& text) {
    auto* data = new QMimeData;
    data->setData(kSongMimeType, text.toUtf8());
    data->setText(text);
    return data;
}

inline bool isSongDrag(const QMimeData* data) {
    return data != nullptr && data->hasFormat(kSongMimeType);
}

}  // namespace kelvra::widgets
