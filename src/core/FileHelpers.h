// Small path and file helpers shared by start-up, the engine procedures and the playlist.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

namespace kelvra {

// The system folder the program keeps its per-machine files under. On Linux this is the user's
// data folder (XDG data home); the loops folder lives there.
QString windowsFolder();

// True when `path` names an existing file (not a folder); any error counts as false.
bool fileExists(const QString& path);

// Every file the program reads (songs, playlists, session scripts, analysis entries, settings)
// is opened through one of these, only when it is a regular file. A FIFO or a device named as
// one would otherwise block the open or the read for ever, or (a link to /dev/zero) never end:
// the file is opened without blocking and checked with fstat before a byte is read.

#ifndef _WIN32
// A read-only descriptor (blocking again once checked) for the file the native path `path`
// names, or -1 with errno set; errno is EINVAL for a folder, FIFO, socket or device.
int openRegularFileDescriptor(const char* path);
#endif

// Opens `file` (whose name is already set) for reading. False on any failure.
bool openRegularFile(QFile& file);

// Why a read of a file failed, for messages that name the file and the reason.
enum class ReadFailure { None, Missing, NotRegular, Denied, TooLarge, Unreadable };
QString readFailureText(ReadFailure failure);

// The whole content of the regular file `path`, at most `limit` bytes: a larger file fails with
// TooLarge rather than being read in. None on failure, with the reason in `failure`.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit,
                                          ReadFailure* failure = nullptr);

// Creates the program's own folders, "DJMixes" and "Playlists", and returns the folder holding
// them: the program's folder, or "Kelvra" under `dataFolder` when the program's folder cannot be
// written (an installed program). Failures are ignored; the dialogs then start elsewhere.
QString makeProgramFolders(const QString& programFolder, const QString& dataFolder);

// True when `path` names a regular file (no folder, FIFO or device).
bool isRegularFile(const QString& path);

// Why `path` cannot be read as a regular file ("No such file or directory", "Is a directory",
// "Permission denied", ...), tried with a real open; empty when it can be.
QString whyUnreadable(const QString& path);

// `path` with the path separator appended unless it already ends with one. Despite the name, the
// separator is "/" on every platform (Qt's, which Windows accepts as well); the name is kept
// because the start-up checks and the options window are written against it.
QString addBackslash(const QString& path);

}  // namespace kelvra
