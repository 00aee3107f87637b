#include "core/FileHelpers.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace kelvra {

namespace {
// Qt speaks "/" on every platform, Windows included.
constexpr char16_t kSeparator = u'/';
}  // namespace

QString windowsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (folder.size() > 1 && folder.endsWith(kSeparator))
        folder.chop(1);
    return folder;
}

bool fileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString addBackslash(const QString& path) {
    return path.endsWith(kSeparator) ? path : path + kSeparator;
}

}  // namespace kelvra
