#include <cstdio>

#include "cli/Commands.h"

namespace kelvra::cli {

int renderCommand(const Args&) {
    std::fputs("kelvra-cli: 'render' is not available yet\n", stderr);
    return 2;
}

}  // namespace kelvra::cli
