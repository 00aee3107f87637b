#include "audio/analysis/AnalysisCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/FileHelpers.h"
#include "core/SaveFile.h"

namespace kelvra::audio::analysis {
namespace {

constexpr char kMagic[8] = {'K', 'L', 'V', 'A', 'N', 'L', 'Y', 'S'};
// Bump whenever the analysis or this layout changes: older entries then simply miss.
// 3: the musical key; 4: keys without overtones; 5: tempo from local tempi, and whether it changes
constexpr std::uint32_t kVersion = 5;
// No real entry comes near this (10 hours of song is 22 MB); anything larger is not ours.
constexpr qint64 kLargestEntry = 64ll << 20;

struct Key {
    QByteArray path;  // absolute, the file system's own bytes
    qint64 size = -1;
    qint64 modified = 0;  // ns since the epoch
    // The change time moves with every write and metadata change, even one that puts the old
    // size and modification time back; the file's identity tells a replaced file from the one
    // analysed.
    qint64 changed = 0;  // ns since the epoch
    quint64 inode = 0;
    quint64 device = 0;
};

QByteArray absoluteBytes(const std::string& path) {
    QByteArray bytes = QByteArray::fromStdString(path);
#ifdef _WIN32
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toUtf8();
#else
    if (bytes.startsWith('/')) return bytes;
    char here[4096];
    if (!::getcwd(here, sizeof here)) return bytes;
    return QByteArray(here) + '/' + bytes;
#endif
}

Key keyOf(const std::string& path) {
    Key key;
    key.path = absoluteBytes(path);
#ifdef _WIN32
    const QFileInfo info(QString::fromStdString(path));
    if (info.isFile()) {
        key.size = info.size();
        key.modified = info.lastModified().toMSecsSinceEpoch() * 1000000;
        key.changed = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    }
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        key.size = info.st_size;
        key.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        key.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
        key.inode = info.st_ino;
        key.device = info.st_dev;
    }
#endif
    return key;
}

std::uint64_t fnv1a(const char* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
    return hash;
}

class Writer {
  public:
    template <typename T>
    void put(T value) {
        if constexpr (std::is_same_v<T, double>) {
            std::uint64_t bits;
            std::memcpy(&bits, &value, 8);
            put(bits);
        } else {
            const T le = qToLittleEndian(value);
            bytes.append(reinterpret_cast<const char*>(&le), sizeof le);
        }
    }
    QByteArray bytes;
};

// Reads fields from a buffer, never past its end: a short buffer turns `ok` false.
class Reader {
  public:
    explicit Reader(const QByteArray& b) : bytes_(b) {}
    template <typename T>
    T get() {
        if constexpr (std::is_same_v<T, double>) {
            const auto bits = get<std::uint64_t>();
            double value;
            std::memcpy(&value, &bits, 8);
            return value;
        } else {
            T value{};
            if (!take(&value, sizeof value)) return T{};
            return qFromLittleEndian(value);
        }
    }
    bool take(void* out, qsizetype size) {
        if (!ok || size < 0 || bytes_.size() - at_ < size) return ok = false;
        std::memcpy(out, bytes_.constData() + at_, std::size_t(size));
        at_ += size;
        return true;
    }
    qsizetype left() const { return bytes_.size() - at_; }
    bool ok = true;

  private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

}  // namespace

AnalysisCache::AnalysisCache(QString folder, std::int64_t sizeLimit)
    : folder_(std::move(folder)),
      sizeLimit_(std::make_shared<std::atomic<std::int64_t>>(sizeLimit)) {}

void AnalysisCache::setSizeLimit(std::int64_t bytes) const {
    sizeLimit_->store(bytes);
}

std::int64_t AnalysisCache::sizeLimit() const {
    return sizeLimit_->load();
}

void AnalysisCache::prune(const QString& kept) const {
    const std::int64_t limit = sizeLimit();
    QFileInfoList entries =
        QDir(folder_).entryInfoList({QStringLiteral("*.analysis")}, QDir::Files | QDir::NoSymLinks);
    std::int64_t total = 0;
    for (const QFileInfo& entry : entries)
        total += entry.size();
    if (total <= limit) return;
    // An entry's modification time is when it was last written or read (load() touches it).
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    for (const QFileInfo& entry : entries) {
        if (total <= limit) break;
        if (entry.absoluteFilePath() == QFileInfo(kept).absoluteFilePath()) continue;
        if (QFile::remove(entry.absoluteFilePath())) total -= entry.size();
    }
}

QString AnalysisCache::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/kelvra/analysis";
}

QString AnalysisCache::entryPath(const std::string& path) const {
    // Named after the path's bytes: two names that differ only in bytes that are not UTF-8 are
    // two songs.
    const QByteArray hash =
        QCryptographicHash::hash(keyOf(path).path, QCryptographicHash::Sha1).toHex();
    return folder_ + "/" + QString::fromLatin1(hash) + ".analysis";
}

bool AnalysisCache::store(const std::string& path, const SongAnalysis& a, QString* error) const {
    const Key key = keyOf(path);
    if (key.size < 0 || !QDir().mkpath(folder_)) return false;
    Writer w;
    w.bytes.append(kMagic, sizeof kMagic);
    w.put(kVersion);
    w.put(std::uint32_t(key.path.size()));
    w.bytes.append(key.path);
    w.put(key.size);
    w.put(key.modified);
    w.put(key.changed);
    w.put(key.inode);
    w.put(key.device);
    for (double value :
         {a.bpm, a.firstBeatSeconds, a.lufs, a.samplePeakDbfs, a.truePeakDbfs, a.seconds})
        w.put(value);
    w.put(std::int32_t(a.key));
    w.put(std::uint8_t(a.tempoChanges ? 1 : 0));
    w.put(std::int32_t(a.waveform.rate));
    w.put(std::int32_t(a.waveform.blockFrames));
    w.put(std::uint32_t(a.waveform.blocks.size()));
    for (const WaveformBlock& block : a.waveform.blocks) {
        w.bytes.append(reinterpret_cast<const char*>(block.peak.data()), kBandCount);
        w.bytes.append(reinterpret_cast<const char*>(block.rms.data()), kBandCount);
    }
    w.put(fnv1a(w.bytes.constData(), std::size_t(w.bytes.size())));

    // Entries are only ever regular files of ours. Anything else in an entry's place goes first:
    // the save would otherwise write through a link (to a device, say) or into a FIFO.
    const QString entry = entryPath(path);
    const QFileInfo existing(entry);
    if ((existing.isSymLink() || (existing.exists() && !existing.isFile())) &&
        !QFile::remove(entry))
        return false;
    const QString failure = saveWholeFile(entry, w.bytes);
    if (!failure.isEmpty()) {
        if (error) *error = failure;
        return false;
    }
    prune(entry);
    return true;
}

AnalysisSnapshot AnalysisCache::load(const std::string& path) const {
    const Key key = keyOf(path);
    if (key.size < 0) return nullptr;
    // The entry is outside input too: a FIFO or a link to a device in its place is a miss.
    const std::optional<QByteArray> read = readRegularFile(entryPath(path), kLargestEntry);
    if (!read) return nullptr;
    const QByteArray& bytes = *read;
    if (bytes.size() < qsizetype(sizeof kMagic + 8)) return nullptr;
    std::uint64_t stored;
    std::memcpy(&stored, bytes.constData() + bytes.size() - 8, 8);
    if (qFromLittleEndian(stored) != fnv1a(bytes.constData(), std::size_t(bytes.size() - 8)))
        return nullptr;

    Reader r(bytes);
    char magic[sizeof kMagic];
    if (!r.take(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
        return nullptr;
    if (r.get<std::uint32_t>() != kVersion) return nullptr;
    QByteArray storedPath(qsizetype(std::min<std::uint32_t>(r.get<std::uint32_t>(), 1u << 16)),
                          '\0');
    r.take(storedPath.data(), storedPath.size());
    if (!r.ok || storedPath != key.path || r.get<qint64>() != key.size ||
        r.get<qint64>() != key.modified || r.get<qint64>() != key.changed ||
        r.get<quint64>() != key.inode || r.get<quint64>() != key.device)
        return nullptr;
    auto a = std::make_shared<SongAnalysis>();
    for (double* value : {&a->bpm, &a->firstBeatSeconds, &a->lufs, &a->samplePeakDbfs,
                          &a->truePeakDbfs, &a->seconds})
        *value = r.get<double>();
    a->key = std::clamp(r.get<std::int32_t>(), -1, 23);
    a->tempoChanges = r.get<std::uint8_t>() != 0;
    a->waveform.rate = r.get<std::int32_t>();
    a->waveform.blockFrames = r.get<std::int32_t>();
    const auto count = r.get<std::uint32_t>();
    if (!r.ok || qsizetype(count) * 2 * kBandCount > r.left() - 8) return nullptr;
    a->waveform.blocks.resize(count);
    for (WaveformBlock& block : a->waveform.blocks) {
        r.take(block.peak.data(), kBandCount);
        r.take(block.rms.data(), kBandCount);
    }
    if (!r.ok || r.left() != 8) return nullptr;
    // Marks the entry as used, for the size limit's least-recently-used order.
    QFile used(entryPath(path));
    if (used.open(QIODevice::ReadWrite))
        used.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return a;
}

AnalysisSnapshot analyseCached(const AnalysisCache& cache, const QString& path,
                               std::stop_token stop) {
    // The file system's own bytes for the name, whatever its encoding.
    const std::string file = QFile::encodeName(path).toStdString();
    AnalysisSnapshot result = cache.load(file);
    if (!result) {
        result = analyseFile(file, stop);
        if (result) cache.store(file, *result);
    }
    return result;
}

}  // namespace kelvra::audio::analysis
