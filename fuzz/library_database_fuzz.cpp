// Fuzzes the song database's opening and reads: any bytes as the database file are opened by a
// reader (refused, told damaged, or read) and searched without a crash, an abort or an
// allocation out of proportion to the file. The file lives in a folder of the run's own.
#include <sqlite3.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "library/Database.h"
#include "library/Library.h"
#include "library/SearchQuery.h"

namespace {

QString databasePath() {
    static const QString path = [] {
        const QString folder =
            QDir::tempPath() + QString("/kelvra-library-fuzz-%1").arg(::getpid());
        QDir().mkpath(folder);
        return folder + "/library.sqlite";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::library;
    const QString path = databasePath();
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(path + suffix);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    (void)databaseProblems(path);
    Library library(path, Access::Reading);
    if (!library.isOpen()) return 0;
    for (const char* text : {"", "a", "da fu", "bpm:120-130", "key:8A"})
        (void)library.search(parseSearchQuery(QString::fromLatin1(text)), 50);
    (void)library.history();
    (void)library.knownFiles();
    (void)library.crates();
    (void)library.songCount();
    return 0;
}
