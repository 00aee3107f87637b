// kelvra-cli: Kelvra's engine, tags and playlists from the command line.
#include <cerrno>
#include <csignal>
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
     "library scan DIR... [--analyse] | analyse | search QUERY..."
     " | export-history [--format m3u|cue|csv] [--set N] | check [--db FILE]",
     kelvra::cli::libraryCommand},
};

int usage() {
    std::fputs("usage: kelvra-cli COMMAND ...\n", stderr);
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  kelvra-cli %s\n", command.usage);
    return 2;
}

// What a script reading the output must not take for the whole of it: output that did not all
// reach standard output (a full disk, a closed pipe) makes the command fail, whatever it did.
int finished(int status) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int error = errno;
    std::fprintf(stderr, "kelvra-cli: the output could not be written: %s\n",
                 error == ENOSPC || error == EDQUOT || error == EFBIG ? "the disk is full"
                 : error != 0                                         ? std::strerror(error)
                                                                      : "a write failed");
    return status != 0 ? status : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A write past the file size limit fails like one onto a full disk, and is reported as one,
    // instead of ending the program before it can say a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    if (argc < 2) return usage();
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0)
            return finished(command.run(kelvra::cli::Args(argv + 2, argv + argc)));
    }
    std::fprintf(stderr, "kelvra-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
