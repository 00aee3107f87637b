// The settings store on disk: one INI file per hive, in Kelvra's configuration folder
// (KELVRA_CONFIG_DIR when set, otherwise the user's XDG configuration folder + "/kelvra").
// Key paths use "\" between their parts; value names match without regard to case.
// Thread: UI thread only.
#pragma once

#include <QSettings>
#include <memory>

#include "settings/SettingsStore.h"

namespace kelvra::settings {

class IniSettingsStore final : public SettingsStore {
  public:
    // `folder` empty: the configuration folder described above.
    explicit IniSettingsStore(const QString& folder = {});
    ~IniSettingsStore() override;

    QString readSetting(Hive hive, const QString& keyPath, const QString& valueName) override;
    void writeSetting(Hive hive, const QString& keyPath, const QString& valueName,
                      const QString& value) override;
    void deleteKey(Hive hive, const QString& keyPath) override;
    void deleteValue(Hive hive, const QString& keyPath, const QString& valueName) override;

    QString fileName(Hive hive) const;
    static QString defaultFolder();

  private:
    QSettings& settings(Hive hive);
    std::unique_ptr<QSettings> machine_;
    std::unique_ptr<QSettings> classes_;
};

}  // namespace kelvra::settings
