// The MIDI devices: the controllers' input and output ports over RtMidi (ALSA sequencer or JACK),
// the DJ's chosen ones kept open, every short message from them delivered on the UI thread, and
// messages sent back to light a controller. A chosen device that is unplugged mid-set is only
// reported; it opens again by itself when it comes back, and one chosen before it was plugged
// in opens when it appears.
//
// Thread: every member is for the UI thread; received() and notice() are sent on it. RtMidi's
// own threads only ever reach the inboxes (see MidiInbox.h).
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

#include "controllers/MidiMessage.h"
#include "controllers/MidiPortNames.h"
#include "core/Clock.h"

class RtMidiIn;
class RtMidiOut;

namespace kelvra::controllers {

enum class MidiApi { Alsa, Jack };

// The MIDI system that goes with the audio: JACK when KELVRA_AUDIO=jack, the ALSA sequencer
// otherwise (PulseAudio, PipeWire and plain ALSA all leave it there).
MidiApi midiApiFromEnvironment();

// How often the ports are looked at for devices plugged in or out: soon enough that a DJ who
// plugs a controller back in finds it working by the time the hands are on it.
inline constexpr int kHotPlugIntervalMs = 1000;

class MidiDevices : public QObject {
    Q_OBJECT
  public:
    MidiDevices(Clock& clock, MidiApi api, QObject* parent = nullptr);
    ~MidiDevices() override;

    MidiApi api() const { return api_; }
    // Empty while the MIDI system can be reached, else why not (no sequencer, no JACK server).
    QString problem() const { return problem_; }

    // The ports there now (as of the last look), by the names to remember them by.
    QStringList inputs() const;
    QStringList outputs() const;

    // The DJ's choice: opened now where present, closed where left out, and watched for.
    void setChosenInputs(const QStringList& names);
    void setChosenOutputs(const QStringList& names);
    QStringList chosenInputs() const { return chosenInputs_; }
    QStringList chosenOutputs() const { return chosenOutputs_; }
    // The chosen ports that are open now.
    QStringList openInputs() const;
    QStringList openOutputs() const;

    // To every open output (a lamp on each chosen controller). Dropped when none is open.
    void send(const MidiMessage& message);
    // To one open output by name; false when it is not open.
    bool send(const QString& output, const MidiMessage& message);

    // Looks at the ports now: the hot-plug timer's tick, also for a list shown to the DJ.
    void rescan();
    // Messages lost because the UI thread fell a whole inbox behind.
    std::uint64_t droppedMessages() const;

  signals:
    // One short message from an open input, in the order that input sent them.
    void received(kelvra::controllers::MidiMessage message, const QString& input);
    // A word for the DJ: a chosen device unplugged, or back.
    void notice(const QString& text);
    // The lists of ports changed (a device came or went).
    void portsChanged();
    // An output was opened (chosen, plugged in again): whatever it showed must be sent afresh.
    void outputOpened(const QString& output);

  private:
    struct Input;
    struct Output;

    void openWanted();
    void drain();
    std::vector<MidiPort> listInputs() const;
    std::vector<MidiPort> listOutputs() const;
    std::unique_ptr<Input> openInput(const MidiPort& port);
    std::unique_ptr<Output> openOutput(const MidiPort& port);

    MidiApi api_;
    QString problem_;
    std::unique_ptr<Timer> timer_;
    // Listing ports needs a client of its own; these two never open a port.
    std::unique_ptr<RtMidiIn> inputLister_;
    std::unique_ptr<RtMidiOut> outputLister_;
    std::vector<MidiPort> inputPorts_, outputPorts_;
    QStringList chosenInputs_, chosenOutputs_;
    // Unplugged while open: the DJ is told when they come back.
    QStringList missing_;
    std::vector<std::unique_ptr<Input>> inputs_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::uint64_t closedDropped_ = 0;  // lost in inputs since closed
    // The driver threads' knock on the UI thread's door: an eventfd, written without waiting.
    int wakeFd_ = -1;
    std::atomic<bool> wakePending_{false};
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
};

}  // namespace kelvra::controllers
