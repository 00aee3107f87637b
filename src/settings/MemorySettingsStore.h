// A settings store held in memory: for tests and for runs that must not touch the user's files.
#pragma once

#include <QMap>

#include "settings/SettingsStore.h"

namespace kelvra::settings {

class MemorySettingsStore final : public SettingsStore {
  public:
    QString readSetting(Hive hive, const QString& keyPath, const QString& valueName) override;
    void writeSetting(Hive hive, const QString& keyPath, const QString& valueName,
                      const QString& value) override;
    void deleteKey(Hive hive, const QString& keyPath) override;
    void deleteValue(Hive hive, const QString& keyPath, const QString& valueName) override;

    int writeCount() const { return writes_; }

  private:
    static QString slot(Hive hive, const QString& keyPath);
    // hive+key (lower-cased) -> value name (lower-cased) -> text
    QMap<QString, QMap<QString, QString>> keys_;
    int writes_ = 0;
};

}  // namespace kelvra::settings
