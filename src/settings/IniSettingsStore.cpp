#include "settings/IniSettingsStore.h"

#include <QDir>
#include <QStandardPaths>

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
    machine_ = std::make_unique<QSettings>(base + "/machine.ini", QSettings::IniFormat);
    classes_ = std::make_unique<QSettings>(base + "/classes.ini", QSettings::IniFormat);
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
}

void IniSettingsStore::deleteKey(Hive hive, const QString& keyPath) {
    QSettings& store = settings(hive);
    store.remove(storedGroup(store, keyPath));
    store.sync();
}

void IniSettingsStore::deleteValue(Hive hive, const QString& keyPath, const QString& valueName) {
    QSettings& store = settings(hive);
    store.beginGroup(storedGroup(store, keyPath));
    const QString name = storedName(store, nameInFile(valueName));
    if (!name.isEmpty()) store.remove(name);
    store.endGroup();
    store.sync();
}

}  // namespace kelvra::settings
