#include "settings/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

#include "core/FileHelpers.h"
#include "core/SaveFile.h"

namespace kelvra::settings {
namespace {

QString groupOf(const QString& keyPath) {
    QString group = keyPath;
    group.replace(u'\\', u'/');
    return group;
}

// A key's unnamed (default) value needs a name of its own in an INI file.
QString nameInFile(const QString& valueName) {
    return valueName.isEmpty() ? QStringLiteral("(Default)") : valueName;
}

// The stored spelling of `valueName` in the current group, matched without regard to case.
QString storedName(const QSettings& settings, const QString& valueName) {
    for (const QString& key : settings.childKeys())
        if (key.compare(valueName, Qt::CaseInsensitive) == 0) return key;
    return {};
}

// Opens the group of a key path whose parts are matched without regard to case, so
// "software\kelvra" and "Software\Kelvra" name the same key. Returns the group as stored (or as
// given when new).
QString storedGroup(QSettings& settings, const QString& keyPath) {
    QStringList stored;
    int depth = 0;
    for (const QString& part : groupOf(keyPath).split(u'/', Qt::SkipEmptyParts)) {
        QString match = part;
        for (const QString& group : settings.childGroups())
            if (group.compare(part, Qt::CaseInsensitive) == 0) match = group;
        settings.beginGroup(match);
        ++depth;
        stored << match;
    }
    for (int i = 0; i < depth; ++i)
        settings.endGroup();
    return stored.join(u'/');
}

}  // namespace

IniSettingsStore::IniSettingsStore(const QString& folder) {
    const QString base = folder.isEmpty() ? defaultFolder() : folder;
    QDir().mkpath(base);
    machine_ = openFile(base + "/machine.ini");
    classes_ = openFile(base + "/classes.ini");
}

std::unique_ptr<QSettings> IniSettingsStore::openFile(const QString& path) {
    // QSettings opens and reads the file itself: it is checked first, so that a FIFO in its
    // place cannot hold start-up for ever, nor a link to a device feed it without end.
    constexpr qint64 kLargestSettingsFile = 16ll << 20;
    const QFileInfo info(path);
    if (!info.exists() || readRegularFile(path, kLargestSettingsFile)) {
        auto store = std::make_unique<QSettings>(path, QSettings::IniFormat);
        store->childGroups();  // the file is read on first use; its status is known after
        if (store->status() != QSettings::FormatError) return store;
    }
    // Writing to a file QSettings could not parse would replace what it holds with what it
    // understood. The user's file is kept under a new name instead, and the defaults are used.
    QString aside = path + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".unreadable-%1").arg(n);
    if (QFile::rename(path, aside)) {
        report(QStringLiteral("The settings file \"%1\" could not be read. It was kept as \"%2\" "
                              "and Kelvra starts with its default settings.")
                   .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside)));
    } else {
        report(QStringLiteral("The settings file \"%1\" could not be read, nor moved aside. "
                              "Kelvra uses its default settings and leaves the file as it is.")
                   .arg(QDir::toNativeSeparators(path)));
        // Changes go to a file beside it: a sync would overwrite what the user may want back.
        return std::make_unique<QSettings>(path + QStringLiteral(".new"), QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

void IniSettingsStore::setReporter(Reporter reporter) {
    reporter_ = std::move(reporter);
    const QStringList pending = std::exchange(pending_, {});
    for (const QString& text : pending)
        report(text);
}

void IniSettingsStore::report(const QString& text) {
    if (reporter_)
        reporter_(text);
    else
        pending_ << text;
}

// A failed write is silent in QSettings; the user hears of it once, not at every change.
void IniSettingsStore::synced(QSettings& store) {
    if (store.status() == QSettings::NoError || writeFailureReported_) return;
    writeFailureReported_ = true;
    // QSettings keeps the reason to itself: the same save is tried again to learn it.
    const QString why = whySaveFails(store.fileName(), QFileInfo(store.fileName()).size() + 4096);
    report(QStringLiteral("Kelvra could not save its settings to \"%1\"%2. Changes made now will "
                          "be lost when Kelvra closes.")
               .arg(QDir::toNativeSeparators(store.fileName()),
                    why.isEmpty() ? QString() : QStringLiteral(": ") + why));
}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::defaultFolder() {
    const QString overridden = qEnvironmentVariable("KELVRA_CONFIG_DIR");
    if (!overridden.isEmpty()) return overridden;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kelvra";
}

QString IniSettingsStore::fileName(Hive hive) const {
    return (hive == Hive::ClassesRoot ? classes_ : machine_)->fileName();
}

QSettings& IniSettingsStore::settings(Hive hive) {
    return hive == Hive::ClassesRoot ? *classes_ : *machine_;
}

QString IniSettingsStore::readSetting(Hive hive, const QString& keyPath, const QString& valueName) {
    QSettings& store = settings(hive);
    store.beginGroup(storedGroup(store, keyPath));
    const QString name = storedName(store, nameInFile(valueName));
    QString result = kAbsentMarker;
    if (!name.isEmpty()) {
        const QVariant value = store.value(name);
        if (value.canConvert<QString>()) result = value.toString();
    }
    store.endGroup();
    return result;
}

void IniSettingsStore::writeSetting(Hive hive, const QString& keyPath, const QString& valueName,
                                    const QString& value) {
    QSettings& store = settings(hive);
    store.beginGroup(storedGroup(store, keyPath));
    // One value per name whatever its case: a reader asking for "InitQuality" must find what a
    // writer stored as "initQuality".
    const QString name = nameInFile(valueName);
    const QString existing = storedName(store, name);
    if (!existing.isEmpty() && existing != name) store.remove(existing);
    store.setValue(name, value);
    store.endGroup();
    store.sync();
    synced(store);
}

void IniSettingsStore::deleteKey(Hive hive, const QString& keyPath) {
    QSettings& store = settings(hive);
    store.remove(storedGroup(store, keyPath));
    store.sync();
    synced(store);
}

void IniSettingsStore::deleteValue(Hive hive, const QString& keyPath, const QString& valueName) {
    QSettings& store = settings(hive);
    store.beginGroup(storedGroup(store, keyPath));
    const QString name = storedName(store, nameInFile(valueName));
    if (!name.isEmpty()) store.remove(name);
    store.endGroup();
    store.sync();
    synced(store);
}

}  // namespace kelvra::settings
