// Fuzzes the walk over the WMA attribute list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tags/WmaAttributes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::tags;
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    const auto attributes = kelvra::tags::wmaAttributes(list);
    if (attributes.size() > size / 4 + 1) std::abort();  // each needs three bytes and a NUL
    for (const WmaAttribute& attribute : attributes)
        (void)wmaKey(attribute.name);
    return 0;
}
