#include "audio/decode/FileBytes.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "core/FileHelpers.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// The same calls under their Windows names; paths would also want _wfopen there.
#define fseeko _fseeki64
#define fstat _fstat64
#define stat _stat64
#define fileno _fileno
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kelvra::audio::decode {

FileMapping::~FileMapping() {
    reset();
}

FileMapping::FileMapping(FileMapping&& other) noexcept {
    *this = std::move(other);
}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
    if (this == &other) return *this;
    reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    view_ = std::exchange(other.view_, nullptr);
    section_ = std::exchange(other.section_, nullptr);
    copy_ = std::move(other.copy_);
    return *this;
}

void FileMapping::reset() {
#ifdef _WIN32
    if (view_) UnmapViewOfFile(view_);
    if (section_) CloseHandle(section_);
#else
    if (view_) munmap(view_, size_);
#endif
    copy_ = HugeBuffer();
    data_ = nullptr;
    size_ = 0;
    view_ = nullptr;
    section_ = nullptr;
}

void FileMapping::release(std::size_t offset, std::size_t length) const {
#ifndef _WIN32
    if (!view_ || offset >= size_) return;
    length = std::min(length, size_ - offset);
    // Only whole pages inside the range: a page shared with bytes still in use stays.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t first = (offset + page - 1) / page * page;
    const std::size_t end = (offset + length) / page * page;
    if (end > first) madvise(static_cast<std::uint8_t*>(view_) + first, end - first, MADV_DONTNEED);
#else
    (void)offset;
    (void)length;
#endif
}

FileBytes::FileBytes(const std::string& path) {
#ifdef _WIN32
    struct stat named {};
    if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
    file_ = std::fopen(path.c_str(), "rb");
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
#else
    fd_ = openRegularFileDescriptor(path.c_str());
    if (fd_ < 0) return;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::int64_t>(info.st_size);
#endif
}

FileBytes::~FileBytes() {
#ifdef _WIN32
    if (file_) std::fclose(file_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
}

bool FileBytes::isOpen() const {
#ifdef _WIN32
    return file_ != nullptr;
#else
    return fd_ >= 0;
#endif
}

std::vector<std::uint8_t> FileBytes::read(std::int64_t offset, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    if (!isOpen() || offset < 0 || offset >= size_) return bytes;
    if (static_cast<std::uint64_t>(size_ - offset) < count)
        count = static_cast<std::size_t>(size_ - offset);
    bytes.resize(count);
    if (!readExact(offset, bytes.data(), count)) return {};
    return bytes;
}

bool FileBytes::readExact(std::int64_t offset, std::uint8_t* out, std::size_t count) {
    if (!isOpen() || offset < 0 || offset > size_ ||
        static_cast<std::uint64_t>(size_ - offset) < count)
        return false;
#ifdef _WIN32
    return fseeko(file_, offset, SEEK_SET) == 0 && std::fread(out, 1, count, file_) == count;
#else
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd_, out + done, count - done, off_t(offset + done));
        if (got <= 0) return false;  // the file shrank, or a read error
        done += std::size_t(got);
    }
    return true;
#endif
}

FileMapping FileBytes::map() {
    FileMapping mapping;
    if (!isOpen() || size_ <= 0 || std::uint64_t(size_) > SIZE_MAX) return mapping;
    const auto size = static_cast<std::size_t>(size_);
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fileno(file_)));
    if (HANDLE section = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
        if (void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, size)) {
            mapping.section_ = section;
            mapping.view_ = view;
            mapping.data_ = static_cast<const std::uint8_t*>(view);
            mapping.size_ = size;
            return mapping;
        }
        CloseHandle(section);
    }
#else
    // Private and read-only: a song rewritten while it plays does not change under the decoder
    // more than the system allows, and nothing is ever written back.
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (view != MAP_FAILED) {
        mapping.view_ = view;
        mapping.data_ = static_cast<const std::uint8_t*>(view);
        mapping.size_ = size;
        return mapping;
    }
#endif
    // No mapping (an odd file system): the bytes are read in instead, as before.
    HugeBuffer copy(size);
    if (!copy.valid() || !readExact(0, copy.data(), size)) return mapping;
    mapping.data_ = copy.data();
    mapping.size_ = size;
    mapping.copy_ = std::move(copy);
    return mapping;
}

}  // namespace kelvra::audio::decode
