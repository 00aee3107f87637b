// Large buffers advised as 2 MB huge pages where the system offers them. Filling a hundred
// megabytes through 4 KB page faults costs more than decoding into it, and reading a 14 MB file
// into an ordinary vector takes five times as long as into one of these. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kelvra::audio::decode {

inline constexpr std::size_t kHugePage = 2u << 20;

class HugeBuffer {
  public:
    HugeBuffer() = default;
    // `bytes` rounded up to whole huge pages; check valid() for a failed allocation.
    explicit HugeBuffer(std::size_t bytes);

    bool valid() const { return data_ != nullptr; }
    std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }

  private:
    struct Free {
        std::size_t mapped;  // the whole allocation, rounded up to huge pages
        void operator()(std::uint8_t* memory) const;
    };
    std::unique_ptr<std::uint8_t[], Free> data_;
    std::size_t size_ = 0;
};

}  // namespace kelvra::audio::decode
