// The payload of a song dragged from the next-song box onto a deck: the entry's text, as plain
// text and under a type of its own. The drop targets take any drag; which song a drop loads is
// the deck logic's business, not the payload's.
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
