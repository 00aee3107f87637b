// kelvra-cli: Kelvra's engine, tags and playlists from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const kelvra::cli::Args&);
};

constexpr Command kCommands[] = {
    {"probe", "probe FILE", kelvra::cli::probeCommand},
    {"render",
     "render FILE --out OUT.wav [--rate OUTRATE] [--freq HZ] [--volume V] [--pan P] "
     "[--from BYTES] [--seconds S]",
     kelvra::cli::renderCommand},
    {"tags", "tags FILE...", kelvra::cli::tagsCommand},
    {"id3v1", "id3v1 FILE", kelvra::cli::id3v1Command},
    {"playlist", "playlist FILE.m3u", kelvra::cli::playlistCommand},
    {"automix",
     "automix LIST.m3u --out MIX.wav [--rate R] [--start PERCENT] [--seconds S] [--repeat] "
     "[--skip-silence] [--cue-sheet MIX.cue]",
     kelvra::cli::automixCommand},
    {"session", "session SCRIPT --out OUT.wav [--rate R] [--seconds S] [--trace TRACE.tsv]",
     kelvra::cli::sessionCommand},
    {"analyse", "analyse FILE...", kelvra::cli::analyseCommand},
    {"library",
     "library scan DIR... | search QUERY... | export-history [--format m3u|cue|csv] [--set N]"
     " [--db FILE]",
     kelvra::cli::libraryCommand},
};

int usage() {
    std::fputs("usage: kelvra-cli COMMAND ...\n", stderr);
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  kelvra-cli %s\n", command.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(kelvra::cli::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "kelvra-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
