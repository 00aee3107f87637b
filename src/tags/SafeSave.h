// Saving a user's file without ever losing it: the change is made to a copy in the same folder,
// the copy is checked, flushed to disk and renamed over the original, and the folder is flushed.
// Until the rename the original is not touched; a failed or interrupted save leaves it byte for
// byte as it was. UI thread (blocking file I/O).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace kelvra::tags {

struct SaveOutcome {
    bool saved = false;
    QString error;  // the system's description of what failed; empty when saved
};

// A step over the copy; it returns false and sets `error` when it fails.
using CopyStep = std::function<bool(const QString& copyPath, QString& error)>;

// Copies `path`, runs `edit` and then `check` on the copy, and puts the copy in its place. The
// new file keeps the original's permissions, made writable by its owner: a read-only file is
// saved and is no longer read-only afterwards. A symbolic link is followed and the real file
// saved; the owner and group are kept, and a save that cannot keep them, or that would split a
// hard link, is refused. Just before the rename the original must still be the file that was
// copied (inode, size, modification and change time, contents), so another program's change is
// never undone; where the system allows, a read lease on the original also refuses the save
// while another program has the file open for writing. The copy is an unnamed file where the
// file system allows one, so a killed save leaves nothing; hidden copies left by killed saves
// elsewhere are removed from the folder first.
SaveOutcome saveThroughCopy(const QString& path, const CopyStep& edit, const CopyStep& check);

// For checks: whether bytes [fromA, end) of file `a` equal bytes [fromB, end) of file `b`,
// both ranges running to their file's end (so they must be equally long).
bool sameTail(const QString& a, std::uint64_t fromA, const QString& b, std::uint64_t fromB,
              QString& error);

// The text of the current errno.
QString systemErrorText(int error);

}  // namespace kelvra::tags
