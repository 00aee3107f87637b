#include "audio/decode/FileBytes.h"

#include <sys/stat.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32
// The same calls under their Windows names; paths would also want _wfopen there.
#define fseeko _fseeki64
#define fstat _fstat64
#define stat _stat64
#define fileno _fileno
#endif

namespace kelvra::audio::decode {

FileBytes::FileBytes(const std::string& path) {
#ifdef _WIN32
    struct stat named {};
    if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
    file_ = std::fopen(path.c_str(), "rb");
#else
    // A FIFO named as a song would block a plain open until a writer comes, for ever: opened
    // without blocking, anything but a regular file is turned away before a byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return;
    }
    file_ = fdopen(fd, "rb");
    if (!file_) ::close(fd);
#endif
    if (!file_) return;
    // Reads here are few and exact; stdio's own buffer would only add a copy and a 4 KB read.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    struct stat info {};
    if (fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file_);
        file_ = nullptr;
        return;
    }
    size_ = static_cast<std::int64_t>(info.st_size);
}

FileBytes::~FileBytes() {
    if (file_) std::fclose(file_);
}

std::vector<std::uint8_t> FileBytes::read(std::int64_t offset, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    if (!file_ || offset < 0 || offset >= size_) return bytes;
    if (static_cast<std::uint64_t>(size_ - offset) < count)
        count = static_cast<std::size_t>(size_ - offset);
    bytes.resize(count);
    if (fseeko(file_, offset, SEEK_SET) != 0) return {};
    bytes.resize(std::fread(bytes.data(), 1, count, file_));
    return bytes;
}

bool FileBytes::readExact(std::int64_t offset, std::uint8_t* out, std::size_t count) {
    if (!file_ || offset < 0 || offset > size_ ||
        static_cast<std::uint64_t>(size_ - offset) < count)
        return false;
    return fseeko(file_, offset, SEEK_SET) == 0 && std::fread(out, 1, count, file_) == count;
}

}  // namespace kelvra::audio::decode
