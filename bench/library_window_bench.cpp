// Search as the DJ types it in the library window, from the key press to the repainted table:
// each key goes to the search line as a real key event, the table is listed again, and the
// window's pending repaints (what the key changed, as on screen) are done before the clock stops;
// a keystroke whose table was not repainted by then is counted and reported. Over N synthetic songs
// (default 100,000), beside a plain SELECT count(*) on the same file; per run the 99th percentile
// over every keystroke, then the minimum and median of those over the runs. Usage:
// QT_QPA_PLATFORM=offscreen library_window_bench [--rows N] [--runs R] [--dir FOLDER]
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchLibrary.h"
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

// Counts the paints of the widget it watches.
class PaintCounter final : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

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
    if (!bench::syntheticLibrary(path, rows)) {
        std::fputs("library_window_bench: cannot make the songs\n", stderr);
        return 1;
    }
    library::Library songs(path);
    if (!songs.isOpen()) {
        std::fprintf(stderr, "library_window_bench: %s\n", qPrintable(songs.notice()));
        return 1;
    }

    settings::MemorySettingsStore store;
    QtDialogs dialogs;
    library::LibraryBrowser browser({songs, store, dialogs, QString(), path, [] {
                                         return std::optional(library::MixReference{125, 21, {}});
                                     }});
    library::LibraryWindow window(browser);
    window.show();
    QApplication::processEvents();
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("librarySearch"));
    auto* table = window.findChild<QAbstractItemView*>(QStringLiteral("librarySongs"));
    if (!search || !table) return 1;
    PaintCounter tablePaints;
    table->viewport()->installEventFilter(&tablePaints);
    int unpainted = 0;
    // The key's work and the repaints it asked for, as the event loop does them between keys.
    const auto timed = [&](auto&& key) {
        const int before = tablePaints.paints;
        const auto t = Clock::now();
        key();
        QApplication::processEvents();
        const double ms = millisecondsSince(t);
        if (tablePaints.paints == before) ++unpainted;
        return ms;
    };

    const std::vector<std::string> typed = {"daft punk", "deep house bpm:120-128", "techno key:8A",
                                            "night 12"};
    std::printf("search as typed over %d songs, key press to repainted window\n", rows);
    std::vector<double> runP99, baseP99;
    for (int run = 0; run < runs; ++run) {
        std::vector<double> keystrokes;
        for (const std::string& text : typed) {
            search->clear();
            QApplication::processEvents();
            for (char c : text)
                keystrokes.push_back(timed([&] {
                    press(*search, QChar(c).toUpper().unicode(),
                          QString(QChar(c)));  // Qt's keys are ASCII
                }));
            // The way back: the DJ deletes what was typed, a key at a time.
            for (std::size_t i = 0; i < text.size(); ++i)
                keystrokes.push_back(timed([&] { press(*search, Qt::Key_Backspace, QString()); }));
        }
        runP99.push_back(bench::percentile(keystrokes, 0.99));
        baseP99.push_back(bench::countP99(path, 200));
    }
    const auto report = [](const char* what, const std::vector<double>& values) {
        std::printf("  %-34s p99 min %8.3f ms  median %8.3f ms\n", what,
                    *std::min_element(values.begin(), values.end()),
                    bench::percentile(values, 0.5));
    };
    report("keystroke to repaint", runP99);
    report("SELECT count(*) (baseline)", baseP99);
    std::printf("  ratio (medians) %.1f\n",
                bench::percentile(runP99, 0.5) / bench::percentile(baseP99, 0.5));
    if (unpainted > 0) std::printf("  %d keystrokes left the table unpainted\n", unpainted);
    return 0;
}
