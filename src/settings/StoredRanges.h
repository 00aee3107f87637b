// Stored numbers brought into their range before anything uses them, and one word to the DJ
// about every value that was not. Thread: UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "core/Dialogs.h"
#include "settings/SettingsStore.h"

namespace kelvra::settings {

// A value edited by hand or left by a broken copy must not make every song fail to load or a
// stop speed the deck up. 0 is what an absent value reads as: it is returned as it is, for the
// caller's default, and is never told.
class StoredRanges {
  public:
    explicit StoredRanges(SettingsStore& store) : store_(store) {}

    // The stored number, clamped into [least, most].
    double ranged(const QString& name, double least, double most);
    // The stored number when it is one of `allowed`, else `fallback`.
    double oneOf(const QString& name, const std::vector<double>& allowed, double fallback);
    // Tells the DJ, in one message, which values were reset; nothing when none was.
    void tell(Dialogs& dialogs) const;

  private:
    void note(const QString& name, const QString& text, double kept);

    SettingsStore& store_;
    QStringList reset_;
};

}  // namespace kelvra::settings
