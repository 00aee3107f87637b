#include <cstdio>

#include "cli/Commands.h"

namespace kelvra::cli {

int tagsCommand(const Args&) {
    std::fputs("kelvra-cli: 'tags' is not available yet\n", stderr);
    return 2;
}

}  // namespace kelvra::cli
