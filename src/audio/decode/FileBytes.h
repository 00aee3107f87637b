// Plain, cheap file access for sniffing and tag reading: no FFmpeg, no buffering beyond what is
// asked for; and read-only mappings of whole files, so a song decoded from memory costs the pages
// decoded, not its size. Any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "audio/decode/HugeBuffer.h"

namespace kelvra::audio::decode {

// A whole file's bytes, read-only: mapped where the system can map files, read into memory
// where it cannot. Movable; the bytes stay valid while it lives, whatever happens to the file
// object it came from.
class FileMapping {
  public:
    FileMapping() = default;
    ~FileMapping();
    FileMapping(FileMapping&& other) noexcept;
    FileMapping& operator=(FileMapping&& other) noexcept;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    bool valid() const { return data_ != nullptr; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
    // Gives back the memory behind bytes [offset, offset + length): a mapped page is read from
    // the file again when touched. Nothing happens to a copy read into memory.
    void release(std::size_t offset, std::size_t length) const;

  private:
    friend class FileBytes;
    void reset();

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    void* view_ = nullptr;     // the system's mapping, null for a copy
    void* section_ = nullptr;  // Windows: the file-mapping object
    HugeBuffer copy_;          // the bytes when the file could not be mapped
};

class FileBytes {
  public:
    // Opens for reading; check isOpen(). Anything but a readable regular file is not open.
    explicit FileBytes(const std::string& path);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool isOpen() const;
    std::int64_t size() const { return size_; }
    // Reads up to `count` bytes at `offset`; returns fewer near the end or on failure.
    std::vector<std::uint8_t> read(std::int64_t offset, std::size_t count);
    // Reads exactly `count` bytes at `offset` into `out`; false when the file ends first.
    bool readExact(std::int64_t offset, std::uint8_t* out, std::size_t count);
    // The whole file, mapped (invalid for an empty file or when even a copy fails).
    FileMapping map();

  private:
#ifdef _WIN32
    std::FILE* file_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::int64_t size_ = 0;
};

}  // namespace kelvra::audio::decode
