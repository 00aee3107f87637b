// id3v1 FILE: the ID3v1 view of a file as the tag editor reads it, one tab-separated line per
// value (an untagged MPEG file shows the values guessed from its name and folders). A file that
// cannot be read ends it with 1 and the reason on standard error.
#include <cstdio>

#include "cli/Commands.h"
#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "tags/MP3Info.h"

namespace kelvra::cli {

int id3v1Command(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: kelvra-cli id3v1 FILE\n", stderr);
        return 2;
    }
    const QString path = pathFromBytes(QByteArray::fromStdString(args[0]));
    const QString problem = whyUnreadable(path);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "kelvra-cli: cannot read '%s': %s\n", args[0].c_str(),
                     problem.toLocal8Bit().constData());
        return 1;
    }
    tags::clsMP3Info info;
    info.setFilename(path);
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
