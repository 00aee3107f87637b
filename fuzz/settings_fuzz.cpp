// Fuzzes reading the settings store's files: a file of any bytes is read, or moved aside when it
// cannot be parsed, and every value read through the store and ReadNumber is safe.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/IniSettingsStore.h"
#include "settings/SettingsKey.h"
#include "settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::settings;
    static QTemporaryDir folder;
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    QFile file(folder.filePath("machine.ini"));
    if (!file.open(QIODevice::WriteOnly)) return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    IniSettingsStore store(folder.path());
    int reports = 0;
    store.setReporter([&reports](const QString&) { ++reports; });
    for (const char* name : {"pitchRange", "Buffer", "SeekAccuracy", "initQuality", "Last Playlist",
                             "AutoFadeLength"}) {
        const QString value = store.readSetting(Hive::LocalMachine, kSettingsKey, name);
        (void)readNumber(value);
    }
    // What was read aside, the user's bytes are never lost: the file or a copy of it remains.
    if (QDir(folder.path()).entryList(QDir::Files).isEmpty()) std::abort();
    return 0;
}
