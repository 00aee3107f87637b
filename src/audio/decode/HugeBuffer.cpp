#include "audio/decode/HugeBuffer.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kelvra::audio::decode {

HugeBuffer::HugeBuffer(std::size_t bytes) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded == 0) return;
#ifdef _WIN32
    void* memory = _aligned_malloc(rounded, kHugePage);
#else
    void* memory = std::aligned_alloc(kHugePage, rounded);
#endif
    if (!memory) return;
#ifdef MADV_HUGEPAGE
    madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    data_.reset(static_cast<std::uint8_t*>(memory));
    size_ = bytes;
}

void HugeBuffer::Free::operator()(std::uint8_t* memory) const {
#ifdef _WIN32
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

}  // namespace kelvra::audio::decode
