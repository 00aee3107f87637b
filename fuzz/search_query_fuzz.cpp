// Fuzzes the library's search box: any text typed is read into a query without a crash, and what
// it yields is sane (a key on the wheel or the no-match mark, tempo bounds that are numbers, an
// initial only beside the match it stands for).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/PathBytes.h"
#include "library/SearchQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = kelvra::pathFromBytes(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const kelvra::library::SearchQuery query = kelvra::library::parseSearchQuery(text);
    if (query.key && *query.key != kelvra::library::kNoMatchingKey &&
        (*query.key < 0 || *query.key > 23))
        std::abort();
    if ((query.bpmLow && std::isnan(*query.bpmLow)) ||
        (query.bpmHigh && std::isnan(*query.bpmHigh)))
        std::abort();
    if (query.initial >= 0 && query.match.isEmpty()) std::abort();
    (void)kelvra::library::parseKey(text);
    return 0;
}
