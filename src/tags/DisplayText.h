// The texts a song file is shown by: the deck's long labelled display text and the playlist's
// short entry. Both prefer an ID3v2 tag, then the ID3v1 block and the WMA attributes the audio
// library reports, then the file's name. UI thread (they drive the audio library).
#pragma once

#include <QString>
#include <string_view>

#include "audio/AudioLibrary.h"

namespace kelvra::tags {

// Two functions whose names differ by one underscore and do different things. Both names stay:
// the deck loaders, the playlist and the tag editor are written against them.
//
// get_ID3_tag, with the underscore, is the DECK's: the long display text "TITLE:  " title,
// "ARTIST:  " artist, ... joined by ten spaces and ended by the product name; the file's name when
// nothing can be read.
QString get_ID3_tag(audio::AudioLibrary& library, const QString& path);

// getID3_tag, without it, is the PLAYLIST's: the short entry text title " - " artist; the file's
// name when nothing can be read.
QString getID3_tag(audio::AudioLibrary& library, const QString& path);

// The two things a DJ reads first on a deck: the title and the artist, out of a deck display text
// ("TITLE:  x", "ARTIST:  y" or a WMA file's "AUTHOR:  y", ... joined by ten spaces) for the song
// at `songPath`. What the tags leave empty comes from the file's name, by the rules the playlist
// titles untagged files with; failing those, the name is the title.
struct Headline {
    QString title;
    QString artist;  // empty when neither the tags nor the name give one
};
Headline headlineOf(const QString& deckText, const QString& songPath);

// An ID3v1 block as text: its bytes up to the first NUL, then one space. NUL padding therefore
// ends the text inside the first padded field.
QString id3v1BlockText(std::string_view block);

// The deck's and the playlist's reading of such a block text.
QString FormatID3v1TagsDeck(const QString& blockText);
QString FormatID3v1TagsPlaylist(const QString& blockText);

}  // namespace kelvra::tags
