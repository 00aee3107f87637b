// Runs a parsed session script on a headless program: each action at its time, by the control
// names the program's windows use, with the mix rendered on the way.
// Thread: the owner's thread only.
#pragma once

#include "app/HeadlessProgram.h"
#include "app/SessionScript.h"

namespace kelvra::app {

// Applies one action. Empty when done; otherwise what is wrong with it.
QString applySessionAction(HeadlessProgram& program, const SessionAction& action);

// Runs `actions` until `endMs` or an `end` action, rendering into `sink`. Empty on success;
// otherwise the failing line's number and message.
struct SessionRunResult {
    int errorLine = 0;
    QString error;
    std::int64_t endedAtMs = 0;
};
SessionRunResult runSession(HeadlessProgram& program, const std::vector<SessionAction>& actions,
                            std::int64_t endMs, const HeadlessProgram::Sink& sink);

}  // namespace kelvra::app
