#include <cstdio>

#include "cli/Commands.h"

namespace kelvra::cli {

int playlistCommand(const Args&) {
    std::fputs("kelvra-cli: 'playlist' is not available yet\n", stderr);
    return 2;
}

}  // namespace kelvra::cli
