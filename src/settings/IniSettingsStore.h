// The settings store on disk: one INI file per hive, in Kelvra's configuration folder
// (KELVRA_CONFIG_DIR when set, otherwise the user's XDG configuration folder + "/kelvra").
// Key paths use "\" between their parts; value names match without regard to case. A file that
// cannot be parsed is moved aside (kept, never deleted) and the defaults are used; a write that
// does not reach the disk is reported once. Thread: UI thread only.
#pragma once

#include <QSettings>
#include <QStringList>
#include <functional>
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

    // Receives each problem's text for the user. Problems found before a reporter is set (when
    // the files are first read) are handed to it as soon as it is set.
    using Reporter = std::function<void(const QString& text)>;
    void setReporter(Reporter reporter);

  private:
    QSettings& settings(Hive hive);
    std::unique_ptr<QSettings> openFile(const QString& path);
    void synced(QSettings& store);
    void report(const QString& text);

    Reporter reporter_;
    QStringList pending_;
    bool writeFailureReported_ = false;
    std::unique_ptr<QSettings> machine_;
    std::unique_ptr<QSettings> classes_;
};

}  // namespace kelvra::settings
