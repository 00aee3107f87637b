#include <cstdio>

#include "cli/Commands.h"

namespace kelvra::cli {

int id3v1Command(const Args&) {
    std::fputs("kelvra-cli: 'id3v1' is not available yet\n", stderr);
    return 2;
}

}  // namespace kelvra::cli
