#include "tags/Id3v2Reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <string>

#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "tags/Id3v2Text.h"

namespace kelvra::tags {

namespace {

constexpr std::size_t kHeaderSize = 10;
constexpr unsigned char kFlagUnsynchronised = 0x80;
constexpr unsigned char kFlagExtendedHeader = 0x40;

std::uint32_t byteAt(std::string_view bytes, std::size_t at) {
    return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u;
}

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8) | byteAt(bytes, at + i);
    return value;
}

std::uint32_t synchsafe(std::string_view bytes, std::size_t at) {
    return (byteAt(bytes, at) & 0x7F) << 21 | (byteAt(bytes, at + 1) & 0x7F) << 14 |
           (byteAt(bytes, at + 2) & 0x7F) << 7 | (byteAt(bytes, at + 3) & 0x7F);
}

// The header's size field: the last byte counts whole, the other three with 7 bits each.
std::uint64_t tagEndOf(std::string_view head) {
    return std::uint64_t{byteAt(head, 9)} + 128u * (byteAt(head, 8) & 0x7F) +
           16384u * (byteAt(head, 7) & 0x7F) + 2097152u * (byteAt(head, 6) & 0x7F) + kHeaderSize;
}

// Undoes unsynchronisation: every 0xFF 0x00 pair loses its 0x00.
std::string resynchronise(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && i + 1 < bytes.size() &&
            bytes[i + 1] == '\0')
            ++i;
    }
    return out;
}

QString* slotFor(ID3v2Slots& id3v2, std::string_view id, int version) {
    struct Entry {
        const char* v3;
        const char* v2;
        QString ID3v2Slots::*slot;
    };
    static constexpr Entry kEntries[] = {
        {"TIT2", "TT2", &ID3v2Slots::title},     {"TPE1", "TP1", &ID3v2Slots::artist},
        {"TALB", "TAL", &ID3v2Slots::album},     {"COMM", "COM", &ID3v2Slots::comment},
        {"TYER", "TYE", &ID3v2Slots::year},      {"TCON", "TCO", &ID3v2Slots::genre},
        {"TCOM", "TCM", &ID3v2Slots::composer},  {"TOPE", "TOA", &ID3v2Slots::originalArtist},
        {"TCOP", "TCR", &ID3v2Slots::copyright}, {"WXXX", "WXX", &ID3v2Slots::url},
        {"TENC", "TEN", &ID3v2Slots::encodedBy}, {"TRCK", "TRK", &ID3v2Slots::track},
    };
    for (const Entry& entry : kEntries) {
        if (id == (version == 2 ? entry.v2 : entry.v3)) return &(id3v2.*entry.slot);
    }
    // Version 2.4 keeps the year in the recording time.
    if (version == 4 && id == "TDRC") return &id3v2.year;
    return nullptr;
}

// Reads up to `count` bytes at `offset`; fewer at the end of the file or on an error.
std::string readAt(int fd, std::uint64_t offset, std::uint64_t count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

class FileReader {
  public:
    explicit FileReader(const QString& path)
        : fd_(openRegularFileDescriptor(pathToBytes(path).constData())) {}
    ~FileReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t size() const {
        struct stat info {};
        return ::fstat(fd_, &info) == 0 && info.st_size > 0 ? std::uint64_t(info.st_size) : 0;
    }
    std::string read(std::uint64_t offset, std::uint64_t count) const {
        return readAt(fd_, offset, count);
    }

  private:
    int fd_;
};

}  // namespace

void ID3v2Slots::clearTexts() {
    for (QString* slot : {&title, &artist, &album, &comment, &year, &genre, &composer,
                          &originalArtist, &copyright, &url, &encodedBy, &track})
        slot->clear();
}

bool parseID3v2Header(std::string_view head, ID3v2Slots& id3v2) {
    id3v2.tagSize = 1;
    if (head.substr(0, 3) != "ID3") return false;
    id3v2.tagSize = static_cast<double>(tagEndOf(head));
    return true;
}

std::uint64_t walkID3v2Frames(std::string_view file, std::uint64_t fileSize, ID3v2Slots& id3v2) {
    id3v2.clearTexts();
    if (file.size() < kHeaderSize || file.substr(0, 3) != "ID3") return 0;
    fileSize = std::max<std::uint64_t>(fileSize, file.size());
    const int version = static_cast<unsigned char>(file[3]);
    const auto flags = static_cast<unsigned char>(file[5]);
    std::uint64_t tagEnd = tagEndOf(file);
    // Version 2.2 used this flag for a compression nobody defined: nothing can be read.
    if (version == 2 && (flags & kFlagExtendedHeader)) return 0;

    // A whole-tag unsynchronisation (before version 2.4) is undone up front; the walk then
    // stays inside the restored tag.
    std::string restored;
    if ((flags & kFlagUnsynchronised) && version < 4) {
        const std::uint64_t wanted = std::min(tagEnd, fileSize);
        if (file.size() < wanted) return wanted;
        restored =
            std::string(file.substr(0, kHeaderSize)) +
            resynchronise(file.substr(kHeaderSize, static_cast<std::size_t>(wanted) - kHeaderSize));
        file = restored;
        tagEnd = fileSize = restored.size();
    }

    const std::size_t idLength = version == 2 ? 3 : 4;
    const std::size_t frameHeader = version == 2 ? 6 : 10;
    std::uint64_t p = kHeaderSize;
    if ((flags & kFlagExtendedHeader) && (version == 3 || version == 4)) {
        // 2.3 counts the extended header without its size field, 2.4 with it.
        if (file.size() < p + 4) return fileSize >= p + 4 ? p + 4 : 0;
        p += version == 3 ? 4 + std::uint64_t{bigEndian(file, p, 4)} : synchsafe(file, p);
    }

    // The first frame is always looked at, even when the tag's size says there is none.
    do {
        if (p + frameHeader > fileSize) break;
        if (p + frameHeader > file.size()) return p + frameHeader;
        const std::string_view id = file.substr(static_cast<std::size_t>(p), idLength);
        if (id.find('\0') != std::string_view::npos) break;  // padding
        std::uint64_t size = 0;
        if (version == 2) {
            size = bigEndian(file, p + 3, 3);
        } else if (version == 4) {
            size = synchsafe(file, p + 4);
        } else {
            size = bigEndian(file, p + 4, 4) & 0x7FFFFFFFu;
        }
        const std::uint64_t bodyStart = p + frameHeader;
        if (bodyStart + size > fileSize) break;
        if (bodyStart + size > file.size()) return bodyStart + size;

        if (QString* slot = slotFor(id3v2, id, version)) {
            std::string_view body =
                file.substr(static_cast<std::size_t>(bodyStart), static_cast<std::size_t>(size));
            std::string unsynchronisedBody;
            bool readable = true;
            if (version == 4) {
                const auto format = static_cast<unsigned char>(file[p + 9]);
                const std::size_t skip = ((format & 0x40) ? 1 : 0) + ((format & 0x01) ? 4 : 0);
                readable = (format & 0x0C) == 0 && body.size() >= skip;  // compressed, encrypted
                if (readable) body.remove_prefix(skip);
                if (readable && ((format & 0x02) || (flags & kFlagUnsynchronised))) {
                    unsynchronisedBody = resynchronise(body);
                    body = unsynchronisedBody;
                }
            }
            if (readable) *slot = decodeFrameBody(id, body);
        }
        p = bodyStart + size;
    } while (static_cast<double>(p + 1) < static_cast<double>(tagEnd));
    return 0;
}

bool readID3v2Header(const QString& path, ID3v2Slots& id3v2) {
    id3v2.tagSize = 1;
    const FileReader reader(path);
    if (!reader.isOpen()) return false;
    return parseID3v2Header(reader.read(0, kHeaderSize), id3v2);
}

bool readID3v2Frames(const QString& path, ID3v2Slots& id3v2) {
    id3v2.clearTexts();
    const FileReader reader(path);
    if (!reader.isOpen()) return false;
    const std::uint64_t fileSize = reader.size();
    const std::string head = reader.read(0, kHeaderSize);
    if (head.size() < kHeaderSize || head.substr(0, 3) != "ID3") return false;
    std::string file = reader.read(0, std::min(fileSize, tagEndOf(head)));
    // A walk asks for more only for a frame reaching past the tag, after which it ends; the
    // bound just makes the end plain.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::uint64_t needed = walkID3v2Frames(file, fileSize, id3v2);
        if (needed <= file.size() || needed > fileSize) break;
        file = reader.read(0, needed);
    }
    return false;
}

}  // namespace kelvra::tags
