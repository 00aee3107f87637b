#include "settings/StoredRanges.h"

#include <algorithm>

#include "settings/SettingsKey.h"

namespace kelvra::settings {

double StoredRanges::ranged(const QString& name, double least, double most) {
    const QString text = store_.readSetting(Hive::LocalMachine, kSettingsKey, name);
    const double value = readNumber(text);
    if (value == 0 || (value >= least && value <= most)) return value;
    const double kept = std::clamp(value, least, most);
    note(name, text, kept);
    return kept;
}

double StoredRanges::oneOf(const QString& name, const std::vector<double>& allowed,
                           double fallback) {
    const QString text = store_.readSetting(Hive::LocalMachine, kSettingsKey, name);
    const double value = readNumber(text);
    if (value == 0 || std::find(allowed.begin(), allowed.end(), value) != allowed.end())
        return value;
    note(name, text, fallback);
    return fallback;
}

void StoredRanges::note(const QString& name, const QString& text, double kept) {
    reset_ << QStringLiteral("%1 (%2, now %3)")
                  .arg(name, text.trimmed(), QString::number(kept, 'g', 15));
}

void StoredRanges::tell(Dialogs& dialogs) const {
    if (reset_.isEmpty()) return;
    dialogs.message(QStringLiteral("Kelvra Settings"),
                    "These stored settings were out of their range and have been reset: " +
                        reset_.join(QStringLiteral(", ")) + ".",
                    MessageButtons::Ok, MessageIcon::Exclamation);
}

}  // namespace kelvra::settings
