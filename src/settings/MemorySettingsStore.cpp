#include "settings/MemorySettingsStore.h"

namespace kelvra::settings {

QString MemorySettingsStore::slot(Hive hive, const QString& keyPath) {
    return QString::number(static_cast<int>(hive)) + ':' + keyPath.toLower();
}

QString MemorySettingsStore::readSetting(Hive hive, const QString& keyPath,
                                         const QString& valueName) {
    const auto key = keys_.constFind(slot(hive, keyPath));
    if (key == keys_.constEnd()) return kAbsentMarker;
    const auto value = key->constFind(valueName.toLower());
    return value == key->constEnd() ? kAbsentMarker : *value;
}

void MemorySettingsStore::writeSetting(Hive hive, const QString& keyPath, const QString& valueName,
                                       const QString& value) {
    keys_[slot(hive, keyPath)][valueName.toLower()] = value;
    ++writes_;
}

void MemorySettingsStore::deleteKey(Hive hive, const QString& keyPath) {
    keys_.remove(slot(hive, keyPath));
}

void MemorySettingsStore::deleteValue(Hive hive, const QString& keyPath, const QString& valueName) {
    auto key = keys_.find(slot(hive, keyPath));
    if (key != keys_.end()) key->remove(valueName.toLower());
}

}  // namespace kelvra::settings
