// How fast a 10,000-entry playlist of tagged files opens and shows every title, and whether the
// window stays responsive meanwhile. Prints its own figures:
//   - the time Load_playlist blocks the window (the entries appear with their file names),
//   - the time until every title has been read and shown,
//   - the longest gap between two ticks of a 1 ms timer while that happens (how long the
//     window could not answer),
// first for opening the playlist, then for sorting it (which reads every title again).
//
// Files are generated: short MP3 files (made once with the ffmpeg tool, then copied) ending in an
// ID3v1 block with a different title each. Two readers are timed: the program's own (getID3_tag
// through an audio library per reading thread) and, for comparison, a bare read of the last 128
// bytes. Warm cache: every file is read once before timing.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/Dialogs.h"
#include "playlist/PlaylistController.h"
#include "playlist/TagTitles.h"
#include "playlist/TitleService.h"
#include "playlist/ui/PlaylistWindow.h"
#include "settings/MemorySettingsStore.h"

namespace {

constexpr int kEntries = 10000;

class SilentDialogs final : public kelvra::Dialogs {
  public:
    kelvra::MessageResult message(const QString&, const QString&, kelvra::MessageButtons,
                                  kelvra::MessageIcon) override {
        return kelvra::MessageResult::Ok;
    }
    QStringList openFiles(const kelvra::FileDialogRequest&) override { return {}; }
    QString saveFile(const kelvra::FileDialogRequest&) override { return {}; }
};

QByteArray field(const QByteArray& text, int size) {
    QByteArray f = text.left(size);
    f.append(QByteArray(size - f.size(), ' '));  // space padding, as many taggers write
    return f;
}

// One short MP3 with only an ID3v1 block, from the ffmpeg tool.
QByteArray makeMp3(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("seed.mp3"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-y",
                                            "-loglevel",
                                            "error",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "sine=frequency=440:duration=0.3",
                                            "-ac",
                                            "1",
                                            "-b:a",
                                            "64k",
                                            "-id3v2_version",
                                            "0",
                                            "-write_id3v1",
                                            "1",
                                            "-metadata",
                                            "title=x",
                                            "-metadata",
                                            "artist=Bench Band",
                                            path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray data = file.readAll();
    if (data.isEmpty()) return {};
    if (data.size() < 128 || !data.mid(data.size() - 128).startsWith("TAG")) {
        // Our own ID3v1 block when the tool wrote none.
        data += "TAG" + field("x", 30) + field("Bench Band", 30) + field("Album", 30) + "2024" +
                field("", 30) + QByteArray(1, '\x11');
    }
    return data;
}

QString makeFiles(const QTemporaryDir& dir) {
    const QByteArray seed = makeMp3(dir);
    if (seed.isEmpty()) return {};
    const qsizetype titleAt = seed.size() - 128 + 3;
    QByteArray m3u;
    for (int i = 0; i < kEntries; ++i) {
        const QString path = dir.filePath(QStringLiteral("track%1.mp3").arg(i, 5, 10, QChar('0')));
        QByteArray data = seed;
        data.replace(titleAt, 30,
                     field("Song number " + QByteArray::number((i * 7919) % kEntries), 30));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(data);
        m3u += path.toUtf8() + "\r\n";
    }
    const QString list = dir.filePath(QStringLiteral("big.m3u"));
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(m3u);
    return list;
}

QString readTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 128)
        return path.mid(path.lastIndexOf(u'/') + 1);
    file.seek(file.size() - 128);
    const QByteArray tag = file.read(128);
    if (!tag.startsWith("TAG")) return path.mid(path.lastIndexOf(u'/') + 1);
    auto text = [&](int offset) {
        QByteArray t = tag.mid(offset, 30);
        const int nul = t.indexOf('\0');
        if (nul >= 0) t.truncate(nul);
        return QString::fromLatin1(t).trimmed();
    };
    return text(3) + QStringLiteral(" - ") + text(33);
}

struct Figures {
    double blockedMs;
    double allTitlesMs;
    double longestStallMs;
};

// Runs `start` and the event loop until every title is in; measures as described above.
template <typename Start>
Figures measure(kelvra::playlist::PlaylistController& playlist, Start start) {
    QElapsedTimer clock;
    double lastTick = 0;
    double longest = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    clock.start();
    start();
    const double blocked = clock.nsecsElapsed() / 1e6;
    lastTick = blocked;
    probe.start();
    while (playlist.titlesPending() > 0 || playlist.busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();  // the last repaint
    return {blocked, clock.nsecsElapsed() / 1e6, std::max(longest, blocked)};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString list = makeFiles(dir);
    if (list.isEmpty()) {
        std::fputs("could not write the test files\n", stderr);
        return 1;
    }
    for (int i = 0; i < kEntries; ++i)  // warm the cache
        readTitle(dir.filePath(QStringLiteral("track%1.mp3").arg(i, 5, 10, QChar('0'))));

    const int threads = qEnvironmentVariableIsSet("KELVRA_TITLE_THREADS")
                            ? qEnvironmentVariableIntValue("KELVRA_TITLE_THREADS")
                            : kelvra::playlist::defaultTitleThreads();
    std::printf(
        "playlist of %d tagged MP3 files, %d reading threads, median of 3 runs (warm "
        "cache)\n",
        kEntries, threads);
    const std::pair<const char*, kelvra::playlist::TitleReaderFactory> readers[] = {
        {"getID3_tag", kelvra::playlist::tagTitleReaderFactory()},
        {"last 128 bytes only", [] { return kelvra::playlist::TitleReader(readTitle); }}};
    for (const auto& [name, factory] : readers) {
        SilentDialogs dialogs;
        kelvra::settings::MemorySettingsStore settings;
        auto titles = kelvra::playlist::makeThreadedTitleService(factory, threads);
        kelvra::playlist::PlaylistController playlist(dialogs, settings, *titles, dir.path());
        kelvra::playlist::PlaylistWindow window(playlist, dialogs);
        window.show();

        std::vector<double> openBlocked, openAll, openStall, sortAll, sortStall;
        for (int run = 0; run < 3; ++run) {
            const Figures open = measure(playlist, [&] { playlist.Load_playlist(list); });
            openBlocked.push_back(open.blockedMs);
            openAll.push_back(open.allTitlesMs);
            openStall.push_back(open.longestStallMs);
            const Figures sort = measure(playlist, [&] { playlist.cmdAZsort_Click(); });
            sortAll.push_back(sort.allTitlesMs);
            sortStall.push_back(sort.longestStallMs);
        }
        if (playlist.count() != kEntries) {
            std::fprintf(stderr, "expected %d entries, got %d\n", kEntries, playlist.count());
            return 1;
        }
        std::printf("reader: %s\n", name);
        std::printf(
            "  open:  window blocked %.1f ms, every title shown after %.1f ms, "
            "longest stall %.1f ms\n",
            median(openBlocked), median(openAll), median(openStall));
        std::printf(
            "  sort:  every title read again and sorted after %.1f ms, longest stall %.1f ms\n",
            median(sortAll), median(sortStall));
        std::printf("  first line after sorting: %s\n", qPrintable(playlist.displayLine(0)));
    }
    return 0;
}
