// Runs a parsed session script on a headless program: each action at its time, by the control
// names the program's windows use, with the mix rendered on the way.
// Thread: the owner's thread only.
#pragma once

#include "session/HeadlessProgram.h"
#include "session/SessionScript.h"

#include <cmath>
#include <optional>

namespace kelvra::session {

// Applies one action. Empty when done; otherwise what is wrong with it.
QString applySessionAction(HeadlessProgram& program, const SessionAction& action);

// The longest session a script or the command line may ask for: a week of program time.
inline constexpr double kLongestSessionSeconds = 86400.0 * 7;
// A script without an `end` runs this long unless told otherwise.
inline constexpr std::int64_t kDefaultSessionMs = 60'000;

// How long a session runs: `seconds` when given (the command line's say), else until the
// script's first `end`, else kDefaultSessionMs.
std::int64_t sessionLengthMs(const std::vector<SessionAction>& actions,
                             std::optional<double> seconds);

// Runs `actions` until `endMs`, rendering into `sink`; `end` actions are for sessionLengthMs().
// Empty on success; otherwise the failing line's number and message.
struct SessionRunResult {
    int errorLine = 0;
    QString error;
    std::int64_t endedAtMs = 0;
};
SessionRunResult runSession(HeadlessProgram& program, const std::vector<SessionAction>& actions,
                            std::int64_t endMs, const HeadlessProgram::Sink& sink);

}  // namespace kelvra::session
