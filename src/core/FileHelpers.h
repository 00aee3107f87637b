// Small path and file helpers shared by start-up, the engine procedures and the playlist.
#pragma once

#include <QString>

class QFile;

namespace kelvra {

// The system folder the program keeps its per-machine files under. On Linux this is the user's
// data folder (XDG data home); the loops folder lives there.
QString windowsFolder();

// True when `path` names an existing file (not a folder); any error counts as false.
bool fileExists(const QString& path);

// Opens `file` (whose name is already set) for reading, only when it is a regular file. A FIFO
// or a device named as a song or playlist would otherwise block the open or the read for ever;
// the file is opened without blocking and checked before a byte is read. False on any failure.
bool openRegularFile(QFile& file);

// Creates the program's own folders, "DJMixes" and "Playlists", and returns the folder holding
// them: the program's folder, or "Kelvra" under `dataFolder` when the program's folder cannot be
// written (an installed program). Failures are ignored; the dialogs then start elsewhere.
QString makeProgramFolders(const QString& programFolder, const QString& dataFolder);

// True when `path` names a regular file (no folder, FIFO or device).
bool isRegularFile(const QString& path);

// Why `path` cannot be read as a regular file ("No such file or directory", "Is a directory",
// "Permission denied", ...), tried with a real open; empty when it can be.
QString whyUnreadable(const QString& path);

// `path` with the path separator appended unless it already ends with one.
QString addBackslash(const QString& path);

}  // namespace kelvra
