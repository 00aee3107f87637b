// The options: reads every stored setting into the program-wide values when the options window
// loads (hidden, at start-up), keeps the window's controls in step, checks the playlist folder,
// and writes everything back when the window closes. Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "core/Dialogs.h"
#include "settings/ControllerOptions.h"
#include "settings/OptionsControls.h"
#include "settings/OutputOptions.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"

namespace kelvra::settings {

inline const QString kQualityCd = QStringLiteral("CD Quality - 44100Hz");
inline const QString kQualityFm = QStringLiteral("FM Quality - 22100Hz");
inline const QString kDefaultDevice = QStringLiteral("Default Sound Device");

class Options {
  public:
    struct Hooks {
        // Output device n (1 and up), or none when there is no such device.
        std::function<std::optional<QString>(int device)> deviceDescription;
        // Applies both decks' pitch again (a new range).
        std::function<void()> applyPitch;
        // Sets both cue-search timers' interval.
        std::function<void(int milliseconds)> setCueInterval;
        // Rearranges the main window for a DJ set-up, at once.
        std::function<void(int djSetup)> djSetupChanged;
        // Applies the display and loudness options at once: waveforms, loudness matching, the
        // elapsed time and where the playlist sits.
        std::function<void()> displayOptionsChanged;
        // The output section's (see OutputOptions).
        OutputOptions::Hooks outputs;
        // The controllers section's (see ControllerOptions).
        ControllerOptions::Hooks controllers;
    };

    Options(OptionsControls& controls, SettingsStore& store, Dialogs& dialogs,
            ProgramSettings& values, QString programFolder, Hooks hooks);

    // The window's load: fills the lists and reads every setting.
    void load();
    // The window's unload (close button, Escape, Enter, program exit): writes every setting.
    void unload();
    // Leaving the playlist folder box: offers to create a missing folder.
    void checkPlaylistFolder();

    QString deviceText() const { return deviceText_; }
    QString qualityText() const { return qualityText_; }
    QString defaultPlaylistFolder() const { return programFolder_ + "/Playlists"; }
    OutputOptions& outputs() { return outputs_; }
    ControllerOptions& controllers() { return controllers_; }

  private:
    // The display and loudness check boxes into the program's values.
    void takeDisplayOptions();
    QString read(const QString& name) const;
    double readNumber(const QString& name) const;
    void write(const QString& name, const QString& value);

    OptionsControls& controls_;
    SettingsStore& store_;
    Dialogs& dialogs_;
    ProgramSettings& values_;
    QString programFolder_;
    Hooks hooks_;
    QString deviceText_;
    QString qualityText_;
    OutputOptions outputs_;
    ControllerOptions controllers_;
};

}  // namespace kelvra::settings
