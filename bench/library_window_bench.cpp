// Search as the DJ types it in the library window, from the key press to the repainted table:
// each key goes to the search line as a real key event, the table is listed again and the window
// painted before the clock stops. Over N synthetic songs (default 100,000), beside a plain
// SELECT count(*) on the same file; per run the 99th percentile over every keystroke, then the
// minimum and median of those over the runs.
// Usage: QT_QPA_PLATFORM=offscreen library_window_bench [--rows N] [--runs R] [--dir FOLDER]
#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/QtDialogs.h"
#include "core/Theme.h"
#include "library/LibraryBrowser.h"
#include "library/ui/LibraryWindow.h"
#include "settings/MemorySettingsStore.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kelvra;

double millisecondsSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::size_t(std::nearbyint(p * double(values.size() - 1)))];
}

void fill(library::Library& songs, int rows) {
    std::mt19937 random(7);
    static const char* kWords[] = {"daft",    "punk",  "deep", "house", "techno", "love",
                                   "night",   "dance", "soul", "disco", "acid",   "dub",
                                   "minimal", "vocal", "club", "mix",   "remix",  "original"};
    const auto word = [&] { return QString(kWords[random() % std::size(kWords)]); };
    for (int i = 0; i < rows; ++i) {
        library::SongFacts facts;
        facts.path = QString("/music/%1/%2.mp3").arg(i % 500).arg(i);
        facts.artist = word() + ' ' + word() + QString(" %1").arg(i % 3000);
        facts.title = word() + ' ' + word() + ' ' + word();
        facts.album = word() + QString(" %1").arg(i % 9000);
        facts.genre = word();
        facts.bpm = 90 + double(random() % 800) / 10;
        facts.key = int(random() % 24);
        facts.seconds = 180 + double(random() % 300);
        facts.size = 1;
        songs.store(std::move(facts));
    }
    songs.writer().flush();
}

double countP99(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
        const auto t = Clock::now();
        sqlite3_exec(db, "SELECT count(*) FROM songs", nullptr, nullptr, nullptr);
        times.push_back(millisecondsSince(t));
    }
    sqlite3_close(db);
    return percentile(times, 0.99);
}

void press(QWidget& target, int key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&target, &up);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    theme::apply(app);
    int rows = 100000, runs = 5;
    QString dir = QDir::tempPath() + "/kelvra-library-window-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) rows = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) dir = QString::fromLocal8Bit(argv[i + 1]);
    }
    QDir().mkpath(dir);
    const QString path = QString("%1/library-%2.sqlite").arg(dir).arg(rows);
    const bool fresh = !QFile::exists(path);
    library::Library songs(path);
    if (!songs.isOpen()) {
        std::fprintf(stderr, "library_window_bench: %s\n", qPrintable(songs.notice()));
        return 1;
    }
    if (fresh) fill(songs, rows);

    settings::MemorySettingsStore store;
    QtDialogs dialogs;
    library::LibraryBrowser browser({songs, store, dialogs, QString(), path, [] {
                                         return std::optional(library::MixReference{125, 21});
                                     }});
    library::LibraryWindow window(browser);
    window.show();
    QApplication::processEvents();
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("librarySearch"));
    if (!search) return 1;

    const std::vector<std::string> typed = {"daft punk", "deep house bpm:120-128", "techno key:8A",
                                            "night 12"};
    std::printf("search as typed over %d songs, key press to repainted window\n", rows);
    std::vector<double> runP99, baseP99;
    for (int run = 0; run < runs; ++run) {
        std::vector<double> keystrokes;
        for (const std::string& text : typed) {
            search->clear();
            QApplication::processEvents();
            for (char c : text) {
                const auto t = Clock::now();
                press(*search, QChar(c).toUpper().unicode(),
                      QString(QChar(c)));  // Qt's keys are ASCII
                window.repaint();
                keystrokes.push_back(millisecondsSince(t));
            }
            // The way back: the DJ deletes what was typed, a key at a time.
            for (std::size_t i = 0; i < text.size(); ++i) {
                const auto t = Clock::now();
                press(*search, Qt::Key_Backspace, QString());
                window.repaint();
                keystrokes.push_back(millisecondsSince(t));
            }
        }
        runP99.push_back(percentile(keystrokes, 0.99));
        baseP99.push_back(countP99(path));
    }
    const auto report = [](const char* what, const std::vector<double>& values) {
        std::printf("  %-34s p99 min %8.3f ms  median %8.3f ms\n", what,
                    *std::min_element(values.begin(), values.end()), percentile(values, 0.5));
    };
    report("keystroke to repaint", runP99);
    report("SELECT count(*) (baseline)", baseP99);
    std::printf("  ratio (medians) %.1f\n", percentile(runP99, 0.5) / percentile(baseP99, 0.5));
    return 0;
}
