// The history of what was heard, told apart into sets and written as a playlist (M3U), a cue
// sheet over the set's recording (CUE) or a table (CSV). A set is a run of songs with no silence
// of more than two hours between one song being heard and the next: a night's gig is one set,
// the next evening another. Pure; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "library/Library.h"

namespace kelvra::library {

inline constexpr std::int64_t kSetGapSeconds = 2 * 60 * 60;

struct HistorySet {
    int number = 0;  // 1 for the oldest
    std::vector<HeardSong> songs;
};

// `heard` oldest first, as Library::history() gives it.
std::vector<HistorySet> historySets(const std::vector<HeardSong>& heard,
                                    std::int64_t gap = kSetGapSeconds);

enum class ExportFormat { M3u, Cue, Csv };
std::optional<ExportFormat> exportFormatNamed(const QString& name);  // "m3u", "cue", "csv"

// The sets in one file. Paths keep their bytes; texts are UTF-8.
//  M3U: the songs' paths, one a line ending in CR LF, and nothing else: the file Kelvra's own
//       playlist and Auto-DJ read (where every line is a path). A path holding a line break
//       cannot be a line; it is left out and put in `left`, when given.
//  CUE: one FILE per set ("Set N.wav", its recording), a TRACK per song whose INDEX 01 is when it
//       was heard, counted from the set's first song.
//  CSV: set,heard,artist,title,seconds,path with heard in ISO 8601 local time and its offset.
QByteArray exportSets(const std::vector<HistorySet>& sets, ExportFormat format,
                      std::vector<QString>* left = nullptr);

}  // namespace kelvra::library
