#include "controllers/MidiDevices.h"

#include <rtmidi/RtMidi.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "controllers/MidiInbox.h"

namespace kelvra::controllers {
namespace {

RtMidi::Api rtApi(MidiApi api) {
    return api == MidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

// ALSA clients may share a name, so Kelvra's show as "kelvra". A JACK client's name is unique on
// its server and the audio engine's is "kelvra"; RtMidi opens one client per port, so the MIDI
// ones are "kelvra-midi", numbered by JACK from the second on.
std::string clientName(MidiApi api) {
    return api == MidiApi::Jack ? "kelvra-midi" : "kelvra";
}

// What RtMidi would print to the console or throw for a warning. Errors while listing are kept
// as the reason the lists are empty; the rest show as a port that did not open.
void keepError(RtMidiError::Type type, const std::string& text, void* problem) {
    if (problem && type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<QString*>(problem) = QString::fromStdString(text);
    else if (problem && text.find("JACK server not running") != std::string::npos)
        *static_cast<QString*>(problem) = QStringLiteral("The JACK server is not running.");
}

std::vector<MidiPort> portsOf(RtMidi* midi) {
    if (!midi) return {};
    std::vector<std::string> names;
    const unsigned count = midi->getPortCount();
    for (unsigned i = 0; i < count; ++i)
        names.push_back(midi->getPortName(i));
    return stablePorts(names);
}

const MidiPort* find(const std::vector<MidiPort>& ports, const QString& name) {
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const MidiPort& port) { return port.name == name; });
    return it != ports.end() ? &*it : nullptr;
}

QStringList namesOf(const std::vector<MidiPort>& ports) {
    QStringList names;
    for (const MidiPort& port : ports)
        names << port.name;
    return names;
}

// The port Kelvra opens to listen to or light a device; one client per port, so one name will do.
const std::string kInPortName = "midi_in";
const std::string kOutPortName = "midi_out";

}  // namespace

MidiApi midiApiFromEnvironment() {
    return qEnvironmentVariable("KELVRA_AUDIO")
                       .compare(QStringLiteral("jack"), Qt::CaseInsensitive) == 0
               ? MidiApi::Jack
               : MidiApi::Alsa;
}

struct MidiDevices::Input {
    QString name;
    MidiInbox inbox;
    int wakeFd = -1;
    std::atomic<bool>* wakePending = nullptr;
    // Last, so it is closed (and its thread stopped) before the inbox goes.
    std::unique_ptr<RtMidiIn> midi;

    // RtMidi's thread: into the inbox, then one knock on the UI thread's door per batch.
    static void arrived(double, std::vector<unsigned char>* bytes, void* self) {
        auto& input = *static_cast<Input*>(self);
        MidiMessage message;
        if (!bytes || !shortMessage(bytes->data(), bytes->size(), message)) return;
        input.inbox.push(message);
        if (!input.wakePending->exchange(true, std::memory_order_acq_rel)) {
            const std::uint64_t one = 1;
            // A full eventfd counter still wakes the reader; nothing to do on failure.
            [[maybe_unused]] const ssize_t written = ::write(input.wakeFd, &one, sizeof one);
        }
    }
};

struct MidiDevices::Output {
    QString name;
    std::unique_ptr<RtMidiOut> midi;
};

MidiDevices::MidiDevices(Clock& clock, MidiApi api, QObject* parent)
    : QObject(parent), api_(api), timer_(clock.createTimer()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        connect(wakeNotifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    }
    try {
        inputLister_ = std::make_unique<RtMidiIn>(rtApi(api_), clientName(api_));
        inputLister_->setErrorCallback(&keepError, &problem_);
        outputLister_ = std::make_unique<RtMidiOut>(rtApi(api_), clientName(api_));
        outputLister_->setErrorCallback(&keepError, &problem_);
        // RtMidi falls back to another system when the one asked for is not built in.
        if (inputLister_->getCurrentApi() != rtApi(api_)) throw RtMidiError("");
    } catch (const std::exception&) {
        inputLister_.reset();
        outputLister_.reset();
        problem_ = api_ == MidiApi::Jack ? QStringLiteral("JACK MIDI is not available.")
                                         : QStringLiteral("The ALSA sequencer is not available.");
    }
    timer_->setInterval(kHotPlugIntervalMs);
    timer_->setOnTick([this] { rescan(); });
    timer_->setEnabled(true);
    rescan();
}

MidiDevices::~MidiDevices() {
    timer_->setEnabled(false);
    // The drivers' threads stop with their ports, before the door they knock on goes.
    inputs_.clear();
    outputs_.clear();
    wakeNotifier_.reset();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

QStringList MidiDevices::inputs() const {
    return namesOf(inputPorts_);
}

QStringList MidiDevices::outputs() const {
    return namesOf(outputPorts_);
}

QStringList MidiDevices::openInputs() const {
    QStringList names;
    for (const auto& input : inputs_)
        names << input->name;
    return names;
}

QStringList MidiDevices::openOutputs() const {
    QStringList names;
    for (const auto& output : outputs_)
        names << output->name;
    return names;
}

std::uint64_t MidiDevices::droppedMessages() const {
    std::uint64_t dropped = closedDropped_;
    for (const auto& input : inputs_)
        dropped += input->inbox.dropped();
    return dropped;
}

std::vector<MidiPort> MidiDevices::listInputs() const {
    return portsOf(inputLister_.get());
}

std::vector<MidiPort> MidiDevices::listOutputs() const {
    return portsOf(outputLister_.get());
}

void MidiDevices::setChosenInputs(const QStringList& names) {
    chosenInputs_ = names;
    drain();
    std::erase_if(inputs_, [&](const auto& input) {
        if (names.contains(input->name)) return false;
        closedDropped_ += input->inbox.dropped();
        return true;
    });
    rescan();
}

void MidiDevices::setChosenOutputs(const QStringList& names) {
    chosenOutputs_ = names;
    std::erase_if(outputs_, [&](const auto& output) { return !names.contains(output->name); });
    rescan();
}

void MidiDevices::rescan() {
    if (inputLister_) problem_.clear();
    std::vector<MidiPort> ins = listInputs(), outs = listOutputs();
    const bool changed = namesOf(ins) != inputs() || namesOf(outs) != outputs();
    inputPorts_ = std::move(ins);
    outputPorts_ = std::move(outs);

    // What an unplugged input sent before it went is still the DJ's.
    drain();
    QStringList unplugged, silenced;
    std::erase_if(inputs_, [&](const auto& input) {
        if (find(inputPorts_, input->name)) return false;
        unplugged << input->name;
        closedDropped_ += input->inbox.dropped();
        return true;
    });
    std::erase_if(outputs_, [&](const auto& output) {
        if (find(outputPorts_, output->name)) return false;
        if (!unplugged.contains(output->name)) silenced << output->name;
        return true;
    });
    for (const QString& name : unplugged + silenced)
        if (!missing_.contains(name)) missing_ << name;
    missing_.removeIf([this](const QString& name) {
        return !chosenInputs_.contains(name) && !chosenOutputs_.contains(name);
    });

    QStringList back, opened;
    const auto cameBack = [&](const QString& name) {
        if (missing_.removeAll(name) > 0) back << name;
    };
    for (const QString& name : std::as_const(chosenInputs_)) {
        const MidiPort* port = find(inputPorts_, name);
        if (!port || openInputs().contains(name)) continue;
        if (auto input = openInput(*port)) {
            inputs_.push_back(std::move(input));
            cameBack(name);
        }
    }
    for (const QString& name : std::as_const(chosenOutputs_)) {
        const MidiPort* port = find(outputPorts_, name);
        if (!port || openOutputs().contains(name)) continue;
        if (auto output = openOutput(*port)) {
            outputs_.push_back(std::move(output));
            cameBack(name);
            opened << name;
        }
    }

    for (const QString& name : std::as_const(unplugged))
        emit notice(QStringLiteral("The MIDI device \"%1\" was unplugged; its controls are idle "
                                   "until it is back.")
                        .arg(name));
    for (const QString& name : std::as_const(silenced))
        emit notice(QStringLiteral("The MIDI device \"%1\" was unplugged; its lights stay dark "
                                   "until it is back.")
                        .arg(name));
    for (const QString& name : std::as_const(back))
        emit notice(QStringLiteral("The MIDI device \"%1\" is back.").arg(name));
    if (changed) emit portsChanged();
    for (const QString& name : std::as_const(opened))
        emit outputOpened(name);
}

std::unique_ptr<MidiDevices::Input> MidiDevices::openInput(const MidiPort& listed) {
    auto input = std::make_unique<Input>();
    input->name = listed.name;
    input->wakeFd = wakeFd_;
    input->wakePending = &wakePending_;
    try {
        input->midi = std::make_unique<RtMidiIn>(rtApi(api_), clientName(api_));
        input->midi->setErrorCallback(&keepError, nullptr);
        input->midi->ignoreTypes(true, true, true);
        // Ports are counted afresh by each client and move as devices come and go: the port is
        // found again by name in this client's own list.
        const auto ports = portsOf(input->midi.get());  // alive while `port` points into it
        const MidiPort* port = find(ports, listed.name);
        if (!port) return nullptr;
        input->midi->setCallback(&Input::arrived, input.get());
        input->midi->openPort(port->index, kInPortName);
        if (!input->midi->isPortOpen()) return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    return input;
}

std::unique_ptr<MidiDevices::Output> MidiDevices::openOutput(const MidiPort& listed) {
    auto output = std::make_unique<Output>();
    output->name = listed.name;
    try {
        output->midi = std::make_unique<RtMidiOut>(rtApi(api_), clientName(api_));
        output->midi->setErrorCallback(&keepError, nullptr);
        const auto ports = portsOf(output->midi.get());
        const MidiPort* port = find(ports, listed.name);
        if (!port) return nullptr;
        output->midi->openPort(port->index, kOutPortName);
        if (!output->midi->isPortOpen()) return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    return output;
}

void MidiDevices::drain() {
    if (wakeFd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    wakePending_.store(false, std::memory_order_release);
    // Gathered first: a listener may change the choice, and with it the inputs being read.
    std::vector<std::pair<MidiMessage, QString>> arrived;
    for (const auto& input : inputs_) {
        MidiMessage message;
        while (input->inbox.pop(message))
            arrived.emplace_back(message, input->name);
    }
    for (const auto& [message, name] : arrived)
        emit received(message, name);
}

void MidiDevices::send(const MidiMessage& message) {
    for (const auto& output : outputs_)
        send(output->name, message);
}

bool MidiDevices::send(const QString& name, const MidiMessage& message) {
    const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                                 [&](const auto& output) { return output->name == name; });
    if (it == outputs_.end()) return false;
    const int kind = message.kind();
    const unsigned char bytes[3] = {message.status, message.data1, message.data2};
    try {
        (*it)->midi->sendMessage(bytes, kind == 0xC0 || kind == 0xD0 ? 2 : 3);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace kelvra::controllers
