// The options window's output section: the sound system, the main and headphone devices and the
// period, stored beside the other settings and applied to the playing mix as soon as the DJ
// picks them, with the latency the output then reports. Each sound system keeps choices of its
// own: one system's device names, rate and period mean nothing to another. Thread: UI thread
// only.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "audio/OutputSetup.h"
#include "settings/OptionsControls.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/StoredRanges.h"

namespace kelvra::settings {

inline const QString kPhonesShared = QStringLiteral("None: cue on the left of the main output");
inline const QString kPhonesChannels34 = QStringLiteral("Channels 3/4 of the main device");
// A JACK client always has its headphone ports; the choice is only where they are connected.
inline const QString kPhonesJackPorts = QStringLiteral("Ports phones_1/2, connected by you");
inline const QString kPhonesJackPlayback34 = QStringLiteral("Ports phones_1/2 to playback 3/4");

// The output buffer asked for: a twentieth of the read-ahead buffer, at most 100 ms. The
// read-ahead keeps its whole length for loads and seeks; an output buffer that long would make
// every cue, bend and fader move late by as much, which a DJ beat-matching by ear hears beyond
// about a tenth of a second.
double outputLatencyFor(double bufferSeconds);

class OutputOptions {
  public:
    struct Hooks {
        // The output devices of a back end, in the order the engine counts them.
        std::function<QStringList(audio::OutputBackend)> devices;
        // Moves the mix to values().engine.output; called after every change the DJ makes.
        std::function<void()> apply;
        // What the output is doing now.
        std::function<audio::OutputStatus()> status;
    };

    OutputOptions(OptionsControls& controls, SettingsStore& store, ProgramSettings& values,
                  Hooks hooks);

    // Reads what every sound system stored, bringing it into range; `check` notes what was not.
    void readStored(StoredRanges& check);
    // The window's load: the stored choices into the lists and into the engine's setup.
    void load();
    // The window's unload: a changed buffer takes effect, and every choice is written.
    void unload();
    // The latency line, from what the output reports.
    void showStatus();

  private:
    // What the DJ chose for one sound system.
    struct Choices {
        QString main, phones;  // as listed
        int period = audio::kDefaultPeriod;
        int rate = 0;
    };

    static QString valueName(audio::OutputBackend backend, const QString& name);
    audio::OutputBackend shownBackend() const;
    void show(const Choices& choices);
    Choices shown() const;
    void fillDevices();
    void takeChoices();
    void changed();
    QString read(const QString& name) const;
    void write(const QString& name, const QString& value);

    OptionsControls& controls_;
    SettingsStore& store_;
    ProgramSettings& values_;
    Hooks hooks_;
    audio::OutputBackend storedBackend_ = audio::OutputBackend::Default;
    // The lists show the choices of `backend_`; the others wait here until theirs come back.
    audio::OutputBackend backend_ = audio::OutputBackend::Default;
    std::array<Choices, 3> choices_;
};

}  // namespace kelvra::settings
