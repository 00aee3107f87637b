#include "audio/decode/HugeBuffer.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kelvra::audio::decode {

// On Linux the pages come straight from the kernel and go straight back: through malloc, a freed
// song of 14 or 100 MB raised the allocator's mapping threshold and the next ones stayed in its
// heap after they were freed, so memory climbed load after load.
HugeBuffer::HugeBuffer(std::size_t bytes) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded == 0) return;
#ifdef __linux__
    // One extra huge page of address space lets the start be aligned by hand.
    void* mapped = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) return;
    auto* base = static_cast<std::uint8_t*>(mapped);
    const std::size_t lead =
        (kHugePage - reinterpret_cast<std::uintptr_t>(base) % kHugePage) % kHugePage;
    if (lead > 0) munmap(base, lead);
    munmap(base + lead + rounded, kHugePage - lead);
    void* memory = base + lead;
    madvise(memory, rounded, MADV_HUGEPAGE);
#elif defined(_WIN32)
    void* memory = _aligned_malloc(rounded, kHugePage);
    if (!memory) return;
#else
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (!memory) return;
#endif
    data_ =
        std::unique_ptr<std::uint8_t[], Free>(static_cast<std::uint8_t*>(memory), Free{rounded});
    size_ = bytes;
}

void HugeBuffer::Free::operator()(std::uint8_t* memory) const {
#ifdef __linux__
    munmap(memory, mapped);
#elif defined(_WIN32)
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

}  // namespace kelvra::audio::decode
