// Fuzzes the rules that guess title, artist and album from a path.
#include <cstddef>
#include <cstdint>

#include "tags/FileNameRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::tags;
    const QString path =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseFileName(path);
    if (path.contains(u'/')) (void)joinFolderAndName(path);
    (void)countSeparators(path, QStringLiteral("- "));
    return 0;
}
