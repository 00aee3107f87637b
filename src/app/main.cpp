// Kelvra's program entry.
#include <QApplication>
#include <QLabel>

#include "core/Version.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel placeholder(QString::fromUtf8(kelvra::kProductName));
    placeholder.setMinimumSize(480, 120);
    placeholder.setAlignment(Qt::AlignCenter);
    placeholder.show();
    return app.exec();
}
