// The association window's logic: which of the five file types open with Kelvra, kept in the
// settings store's classes-root hive (as the program has always kept them) and, on the desktop,
// in Kelvra's desktop entry and the user's default applications. A type counts as associated
// only when both agree. Thread: UI thread only.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>

#include "settings/AssociateControls.h"
#include "settings/DesktopAssociations.h"
#include "settings/SettingsStore.h"

namespace kelvra::settings {

// One row of the association table.
struct FileType {
    QString extensionKey;  // ".mp3\" (with its trailing "\")
    QString classKey;      // "Kelvra.Music.File"
    QString description;   // "Kelvra Music File"
    QStringList mimeTypes;
};

// MP3, WMA, ASF, WAV, M3U.
const std::array<FileType, 5>& fileTypes();

// Five flags in table order, 1 for a checked type.
using TypeFlags = std::array<std::int16_t, 5>;

class FileAssociations final : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<void()> close;
        std::function<void(bool busy)> busyPointer;
    };

    // `program` is the running executable; `optStartUp` the program-wide show-on-start-up flag.
    // `desktop` may be null (then only the store counts).
    FileAssociations(AssociateControls& controls, SettingsStore& store,
                     DesktopAssociations* desktop, QString program, std::int16_t& optStartUp,
                     Hooks hooks);

    // The window's load: the boxes from the associations, the start-up box from the flag.
    void load();
    // The main window's start-up offer: shown when wanted and at most one type is associated.
    bool showAtStartUp() const { return optStartUp_ == 1 && associatedCount_ <= 1; }
    int associatedCount() const { return associatedCount_; }

    void read_reg_values();
    bool Associate_Files(const TypeFlags& flags);
    void remove_Association(const TypeFlags& flags);
    // "Update": writes the checked types, removes the others, closes.
    void cmdAssociate_Click();
    void lblStartup_Click();
    // Escape and the close button: closes without changing any association.
    void cancel();
    // Every way of closing ends here: the flag takes the start-up box's value.
    void aboutToClose();
    // Why the desktop's side of the last write or removal failed; empty when it did not.
    const QString& failureText() const { return failure_; }

  signals:
    // "Update" could not change the desktop's associations; `message` names the file and why.
    void notSaved(const QString& message);

  private:
    TypeFlags checkedFlags();
    bool desktopAgrees(const FileType& type);

    AssociateControls& controls_;
    SettingsStore& store_;
    DesktopAssociations* desktop_;
    QString program_;
    std::int16_t& optStartUp_;
    Hooks hooks_;
    int associatedCount_ = 0;
    QString failure_;
};

}  // namespace kelvra::settings
