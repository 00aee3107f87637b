// The settings store: text values under keys of two hives, read and written one value at a time.
// Value names match without regard to case. Thread: UI thread only.
#pragma once

#include <QString>

namespace kelvra::settings {

enum class Hive {
    LocalMachine,  // the program's own settings, shared by every user of the machine
    ClassesRoot,   // file-type handlers
};

// What a failed read returns. No stored value equals it and it reads as the number 0.
inline const QString kAbsentMarker = QStringLiteral("Not Found");

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The value's text, or kAbsentMarker when the key or value cannot be read.
    virtual QString readSetting(Hive hive, const QString& keyPath, const QString& valueName) = 0;
    // Creates the key if needed, stores the text and flushes. Failures are ignored.
    virtual void writeSetting(Hive hive, const QString& keyPath, const QString& valueName,
                              const QString& value) = 0;
    virtual void deleteKey(Hive hive, const QString& keyPath) = 0;
    virtual void deleteValue(Hive hive, const QString& keyPath, const QString& valueName) = 0;
};

// The leading decimal number of a stored text: an optional sign, digits and at most one period;
// anything else ends the number. Absent or non-numeric text reads as 0.
double readNumber(const QString& text);

}  // namespace kelvra::settings
