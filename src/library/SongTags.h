// The texts a library row keeps of a song file's tags, and the song's length. MP3 and WAV are read
// with Kelvra's own ID3v2 and ID3v1 readers, WMA through the audio library's attribute list, the
// other formats the decoders play (FLAC, Ogg Vorbis, Opus, M4A, AIFF) through TagLib, which also
// gives every format's length. Tag text is untrusted: each field is cut to a bound and cleaned
// into valid text before it is stored.
// Thread: any, each call with its own audio library.
#pragma once

#include <QString>

namespace kelvra::audio {
class AudioLibrary;
}

namespace kelvra::library {

struct SongFacts;

struct SongTags {
    QString artist, title, album, genre, comment;
    double seconds = 0;
};

// The fields' bounds, in characters: far beyond any real tag, small enough that a hostile one
// cannot swell the database or the search index.
inline constexpr qsizetype kTagTextLimit = 512;
inline constexpr qsizetype kCommentLimit = 2048;

// Empty texts (and 0 seconds) for whatever cannot be read; never fails.
SongTags readSongTags(audio::AudioLibrary& library, const QString& path);

// Puts the texts and the length of `tags` into the row `facts` will become.
void copyTags(const SongTags& tags, SongFacts& facts);

// True for the file names the scan takes for songs (by extension, any case).
bool isSongFileName(const QString& name);

// `text` without control characters, lone surrogates or non-characters, spaces trimmed, and at
// most `limit` characters (a surrogate pair is never split).
QString boundedTagText(const QString& text, qsizetype limit = kTagTextLimit);

}  // namespace kelvra::library
