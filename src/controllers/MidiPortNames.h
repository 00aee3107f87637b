// The names the DJ sees and the settings remember for MIDI ports: the driver's names made stable
// across unplugging and restarts, and Kelvra's own ports left out. Plain functions, any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace kelvra::controllers {

// A port as the driver lists it now: its remembered name and where the driver counts it.
struct MidiPort {
    QString name;
    unsigned index = 0;
};

// The ALSA sequencer adds the client and port numbers ("Mixer:Mixer MIDI 1 24:0"); the client
// number changes each time a USB device is plugged in, so it is cut off. JACK names are kept.
QString stableName(const std::string& driverName);

// The driver's list in its order, as stable names: Kelvra's own ports left out (a controller
// wired to itself makes no sense), and a second device of the same name told apart as "(2)".
std::vector<MidiPort> stablePorts(const std::vector<std::string>& driverNames);

// Whether a stable name is one of Kelvra's own ports.
bool isOwnPort(const QString& name);

}  // namespace kelvra::controllers
