// Plain, cheap file access for sniffing and tag reading: no FFmpeg, no buffering beyond what is
// asked for. Any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelvra::audio::decode {

class FileBytes {
  public:
    // Opens for reading; check isOpen(). A directory or unreadable file is not open.
    explicit FileBytes(const std::string& path);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::int64_t size() const { return size_; }
    // Reads up to `count` bytes at `offset`; returns fewer near the end or on failure.
    std::vector<std::uint8_t> read(std::int64_t offset, std::size_t count);
    // Reads exactly `count` bytes at `offset` into `out`; false when the file ends first.
    bool readExact(std::int64_t offset, std::uint8_t* out, std::size_t count);

  private:
    std::FILE* file_ = nullptr;
    std::int64_t size_ = 0;
};

}  // namespace kelvra::audio::decode
