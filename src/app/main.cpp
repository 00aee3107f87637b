// Kelvra's program entry.
#include <QApplication>
#include <QStringList>
#include <csignal>

#include "app/Application.h"
#include "core/Theme.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A write past the file size limit (a recording, the song database) fails like one onto a
    // full disk and is told as one; the signal would end the set instead.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Kelvra");
    kelvra::theme::apply(qapp);

    // The whole command line is one path (a song or a playlist), spaces and all.
    QStringList words = QApplication::arguments();
    words.removeFirst();
    // Several files from the desktop (its launcher passes each as a word): the first plays,
    // the others join the playlist after it.
    const QStringList extra = kelvra::app::extraFilesOf(words);
    if (!extra.isEmpty()) words = words.mid(0, 1);
    kelvra::app::Application app(QApplication::applicationDirPath(), words.join(u' '));
    app.addAfterStart(extra);
    app.start();
    return qapp.exec();
}
