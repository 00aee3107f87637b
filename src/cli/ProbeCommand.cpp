#include <cstdio>

#include "cli/Commands.h"

namespace kelvra::cli {

int probeCommand(const Args&) {
    std::fputs("kelvra-cli: 'probe' is not available yet\n", stderr);
    return 2;
}

}  // namespace kelvra::cli
