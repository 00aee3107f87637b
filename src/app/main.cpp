// Kelvra's program entry.
#include <QApplication>
#include <QStringList>

#include "app/Application.h"
#include "core/Theme.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Kelvra");
    kelvra::theme::apply(qapp);

    // The whole command line is one path (a song or a playlist), spaces and all.
    QStringList words = QApplication::arguments();
    words.removeFirst();
    kelvra::app::Application app(QApplication::applicationDirPath(), words.join(u' '));
    app.start();
    return qapp.exec();
}
