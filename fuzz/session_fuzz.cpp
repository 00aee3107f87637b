// Fuzzes the session-script parser: any text gives actions in time order or one error with its
// line, never a crash.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "session/SessionScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const kelvra::session::SessionParse parse = kelvra::session::parseSessionScript(text);
    if (parse.errorLine < 0 || (parse.errorLine > 0) == parse.error.isEmpty()) std::abort();
    std::int64_t previous = 0;
    for (const auto& action : parse.actions) {
        if (action.ms < previous || action.line < 1) std::abort();
        previous = action.ms;
    }
    return 0;
}
