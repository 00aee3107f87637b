// The options window's controllers section: the MIDI inputs and outputs to open, ticked in two
// lists, and the mapping file that says what a controller's buttons and knobs do. The choice is
// remembered in the settings store and handed to the devices at start-up; a remembered device
// that is not plugged in stays ticked, marked so, and opens when it appears.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "settings/OptionsControls.h"
#include "settings/SettingsStore.h"

namespace kelvra::settings {

// Where mapping files are looked for: the DJ's own folder first (a file there wins over a
// shipped one of the same name), then the shipped ones.
QStringList defaultMappingFolders(const QString& programFolder);

inline const QString kNoMapping = QStringLiteral("None");

class ControllerOptions {
  public:
    struct Hooks {
        // The MIDI ports there now, by the names they are remembered by.
        std::function<QStringList()> inputs;
        std::function<QStringList()> outputs;
        // Why there are none, when the MIDI system cannot be reached; empty otherwise.
        std::function<QString()> problem;
        // Opens exactly these (and watches for the absent ones).
        std::function<void(const QStringList& inputs, const QStringList& outputs)> choose;
        // The mapping file to use, empty for none.
        std::function<void(const QString& file)> mappingChosen;
        QStringList mappingFolders;
    };

    ControllerOptions(OptionsControls& controls, SettingsStore& store, Hooks hooks);

    // The window's load (hidden, at start-up): the remembered choice, handed on.
    void load();
    // The window's unload: the choice written back.
    void unload();
    // The device lists again, after a device came or went; the ticks are kept.
    void refresh();
    // The mapping file to use from now on (one just written by learning): listed, chosen and
    // handed on.
    void useMappingFile(const QString& path);

    QStringList chosenInputs() const { return chosenInputs_; }
    QStringList chosenOutputs() const { return chosenOutputs_; }
    QString mappingFile() const { return mappingFile_; }

  private:
    void fillMappings();
    void choose();

    OptionsControls& controls_;
    SettingsStore& store_;
    Hooks hooks_;
    QStringList chosenInputs_, chosenOutputs_;
    QString mappingFile_;
    QStringList mappingPaths_;  // beside the list's entries after "None"
};

}  // namespace kelvra::settings
