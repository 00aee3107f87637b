// How kelvra-cli reports a song it could not open: the library's code and text on standard
// output, as scripts read them, and the file with the reason on standard error, for people.
#pragma once

#include <string>

namespace kelvra::audio::engine {
class Engine;
}

namespace kelvra::cli {

// Prints both lines for `file` after a failed open on `engine`; returns 1, the exit code.
int reportOpenFailure(const std::string& file, const audio::engine::Engine& engine);

// "kelvra-cli: FILE: REASON" on standard error.
void reportFileProblem(const std::string& file, const std::string& reason);

}  // namespace kelvra::cli
