// Fuzzes the playlist reader: any bytes split into lines, and every line's path carried back to
// exactly the bytes it came from (a lost byte would be a file the playlist can no longer open).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/PathBytes.h"
#include "playlist/M3u.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    int started = 0;
    const QStringList lines = kelvra::playlist::readM3uLines(content, &started);
    if (started != lines.size() + 1) std::abort();
    for (const QString& line : lines) {
        if (kelvra::pathFromBytes(kelvra::pathToBytes(line)) != line) std::abort();
        (void)kelvra::readablePath(line);
    }
    if (kelvra::pathToBytes(kelvra::pathFromBytes(content)) != content) std::abort();
    return 0;
}
