// Fuzzes the rules that guess title, artist and album from a path.
#include <cstddef>
#include <cstdint>

#include "tags/FileNameRules.h"

// Each folder level of the fallback re-reads the grown name, so the cost is quadratic in the
// number of folders; short paths reach every rule and keep the runs fast.
constexpr std::size_t kMaxPath = 160;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::tags;
    if (size > kMaxPath) return 0;
    const QString path =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseFileName(path);
    if (path.contains(u'/')) (void)joinFolderAndName(path);
    (void)countSeparators(path, QStringLiteral("- "));
    return 0;
}
