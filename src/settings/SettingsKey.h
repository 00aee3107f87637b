// Where the program's own settings live in the settings store.
#pragma once

#include <QString>

namespace kelvra::settings {

inline const QString kSettingsKey = QStringLiteral("Software\\Kelvra");

}  // namespace kelvra::settings
