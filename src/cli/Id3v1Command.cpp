// id3v1 FILE: the ID3v1 view of a file as the tag editor reads it, one tab-separated line per
// value (an untagged MPEG file shows the values guessed from its name and folders).
#include <cstdio>

#include "cli/Commands.h"
#include "core/PathBytes.h"
#include "tags/MP3Info.h"

namespace kelvra::cli {

int id3v1Command(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: kelvra-cli id3v1 FILE\n", stderr);
        return 2;
    }
    tags::clsMP3Info info;
    info.setFilename(pathFromBytes(QByteArray::fromStdString(args[0])));
    const std::pair<const char*, QString> lines[] = {
        {"Title", info.Title()}, {"Artist", info.Artist()},   {"Album", info.Album()},
        {"Year", info.Year()},   {"Comment", info.Comment()}, {"Genre", info.Genre()},
    };
    for (const auto& [name, value] : lines) {
        const QByteArray text = value.toUtf8();
        std::printf("%s\t", name);
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
        std::putchar('\n');
    }
    std::printf("IsFileID3v1\t%s\n", info.IsFileID3v1() ? "true" : "false");
    return 0;
}

}  // namespace kelvra::cli
