// tags FILE...: the deck display text and the playlist entry text of each file, as tab-separated
// "deck" and "list" lines, spaces kept. A file that cannot be read is named on standard error with
// the reason, and the command then ends with 1 once the others are printed.
#include <cstdio>

#include "audio/CreateAudioLibrary.h"
#include "cli/Commands.h"
#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "tags/DisplayText.h"

namespace kelvra::cli {

namespace {

void printLine(const char* name, const QString& value) {
    const QByteArray text = value.toUtf8();
    std::printf("%s\t", name);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::putchar('\n');
}

}  // namespace

int tagsCommand(const Args& args) {
    if (args.empty()) {
        std::fputs("usage: kelvra-cli tags FILE...\n", stderr);
        return 2;
    }
    const std::unique_ptr<audio::AudioLibrary> library = audio::createAudioLibrary();
    int result = 0;
    for (const std::string& file : args) {
        const QString path = pathFromBytes(QByteArray::fromStdString(file));
        const QString problem = whyUnreadable(path);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kelvra-cli: cannot read '%s': %s\n", file.c_str(),
                         problem.toLocal8Bit().constData());
            result = 1;
            continue;
        }
        printLine("deck", tags::get_ID3_tag(*library, path));
        printLine("list", tags::getID3_tag(*library, path));
    }
    return result;
}

}  // namespace kelvra::cli
