// Where the program keeps its own settings in the store: one key of the machine-wide hive.
#pragma once

#include <QString>

namespace kelvra::settings {

inline const QString kSettingsKey = QStringLiteral("Software\\Kelvra");

}  // namespace kelvra::settings
