// A file's fingerprint: its size and a hash of its first and last 64 KB. Enough to know a song
// file again under another path after a move or rename, read in two small reads whatever the
// file's length. Any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace kelvra::library {

// 8 bytes of size (big-endian), then a 20-byte hash; empty when the file cannot be read.
QByteArray fingerprintOf(const QString& path);

}  // namespace kelvra::library
