#include "settings/OutputOptions.h"

#include <algorithm>

#include "settings/Options.h"
#include "settings/SettingsKey.h"

namespace kelvra::settings {
namespace {

const QString kBackendValue = QStringLiteral("OutputBackend");
const QString kMainValue = QStringLiteral("OutputDevice");
const QString kPhonesValue = QStringLiteral("PhonesOutput");
const QString kPeriodValue = QStringLiteral("OutputPeriod");
const QString kRateValue = QStringLiteral("OutputRate");
constexpr int kFixedPhonesEntries = 2;  // shared, channels 3/4; then the devices
constexpr audio::OutputBackend kBackends[] = {
    audio::OutputBackend::Default, audio::OutputBackend::Jack, audio::OutputBackend::Alsa};

QString firstPhonesEntry(audio::OutputBackend backend) {
    return backend == audio::OutputBackend::Jack ? kPhonesJackPorts : kPhonesShared;
}

template <std::size_t N>
int indexIn(const int (&choices)[N], int value) {
    const auto* found = std::find(std::begin(choices), std::end(choices), value);
    return found == std::end(choices) ? -1 : int(found - std::begin(choices));
}

template <std::size_t N>
std::vector<double> choiceList(const int (&choices)[N]) {
    return {std::begin(choices), std::end(choices)};
}

}  // namespace

double outputLatencyFor(double bufferSeconds) {
    return std::clamp(bufferSeconds / 20.0, 0.01, 0.1);
}

OutputOptions::OutputOptions(OptionsControls& controls, SettingsStore& store,
                             ProgramSettings& values, Hooks hooks)
    : controls_(controls), store_(store), values_(values), hooks_(std::move(hooks)) {
    QObject::connect(&controls_.outputBackend, &ChoiceModel::chosen, [this](int) {
        choices_[std::size_t(backend_)] = shown();
        backend_ = shownBackend();
        fillDevices();
        show(choices_[std::size_t(backend_)]);
        changed();
    });
    for (ChoiceModel* list : {&controls_.outputMain, &controls_.outputPhones,
                              &controls_.outputPeriod, &controls_.outputRate})
        QObject::connect(list, &ChoiceModel::chosen, [this](int) { changed(); });
}

QString OutputOptions::read(const QString& name) const {
    return store_.readSetting(Hive::LocalMachine, kSettingsKey, name);
}

void OutputOptions::write(const QString& name, const QString& value) {
    store_.writeSetting(Hive::LocalMachine, kSettingsKey, name, value);
}

// The values stored before each sound system had its own are the default system's: they keep
// their names, and the others' take the system's name in front.
QString OutputOptions::valueName(audio::OutputBackend backend, const QString& name) {
    switch (backend) {
        case audio::OutputBackend::Jack:
            return QStringLiteral("Jack") + name;
        case audio::OutputBackend::Alsa:
            return QStringLiteral("Alsa") + name;
        case audio::OutputBackend::Default:
            break;
    }
    return name;
}

audio::OutputBackend OutputOptions::shownBackend() const {
    return audio::OutputBackend(std::max(0, controls_.outputBackend.currentIndex()));
}

void OutputOptions::readStored(StoredRanges& check) {
    storedBackend_ = audio::OutputBackend(check.oneOf(kBackendValue, {1, 2}, 0));
    const auto text = [this](const QString& name, const QString& absent) {
        const QString stored = read(name);
        return stored == kAbsentMarker ? absent : stored;
    };
    for (const audio::OutputBackend backend : kBackends) {
        Choices& choices = choices_[std::size_t(backend)];
        choices.main = text(valueName(backend, kMainValue), kDefaultDevice);
        choices.phones = text(valueName(backend, kPhonesValue), firstPhonesEntry(backend));
        const double period = check.oneOf(valueName(backend, kPeriodValue),
                                          choiceList(audio::kPeriodChoices), audio::kDefaultPeriod);
        choices.period = period == 0 ? audio::kDefaultPeriod : int(period);
        choices.rate =
            int(check.oneOf(valueName(backend, kRateValue), choiceList(audio::kRateChoices), 0));
    }
}

void OutputOptions::show(const Choices& choices) {
    // A device no longer there is the default again (the engine says so if that fails too).
    controls_.outputMain.setCurrentIndex(
        std::max(int(controls_.outputMain.items().indexOf(choices.main)), 0));
    controls_.outputPhones.setCurrentIndex(
        std::max(int(controls_.outputPhones.items().indexOf(choices.phones)), 0));
    const int period = indexIn(audio::kPeriodChoices, choices.period);
    controls_.outputPeriod.setCurrentIndex(
        period >= 0 ? period : indexIn(audio::kPeriodChoices, audio::kDefaultPeriod));
    controls_.outputRate.setCurrentIndex(std::max(indexIn(audio::kRateChoices, choices.rate), 0));
}

OutputOptions::Choices OutputOptions::shown() const {
    Choices choices;
    choices.main = controls_.outputMain.currentText();
    choices.phones = controls_.outputPhones.currentText();
    const int period = controls_.outputPeriod.currentIndex();
    choices.period = period >= 0 ? audio::kPeriodChoices[period] : audio::kDefaultPeriod;
    choices.rate = audio::kRateChoices[std::max(0, controls_.outputRate.currentIndex())];
    return choices;
}

void OutputOptions::fillDevices() {
    const audio::OutputBackend backend = shownBackend();
    const QStringList devices = hooks_.devices ? hooks_.devices(backend) : QStringList();
    controls_.outputMain.clear();
    controls_.outputMain.addItem(kDefaultDevice);
    controls_.outputPhones.clear();
    const bool jack = backend == audio::OutputBackend::Jack;
    controls_.outputPhones.addItem(jack ? kPhonesJackPorts : kPhonesShared);
    controls_.outputPhones.addItem(jack ? kPhonesJackPlayback34 : kPhonesChannels34);
    for (const QString& device : devices) {
        controls_.outputMain.addItem(device);
        // A JACK client has no second device: its headphone ports go where the DJ connects them.
        if (!jack) controls_.outputPhones.addItem(device);
    }
}

void OutputOptions::load() {
    controls_.outputBackend.setCurrentIndex(int(storedBackend_));
    backend_ = storedBackend_;
    fillDevices();
    show(choices_[std::size_t(backend_)]);
    takeChoices();
    showStatus();
}

void OutputOptions::takeChoices() {
    audio::OutputSetup& setup = values_.engine.output;
    setup.backend = shownBackend();
    const int main = controls_.outputMain.currentIndex();
    // The default back end's default entry is the playback device chosen above.
    setup.device =
        main > 0
            ? main - 1
            : (setup.backend == audio::OutputBackend::Default ? values_.engine.outputDevice : -1);
    const int phones = std::max(0, controls_.outputPhones.currentIndex());
    setup.phones =
        phones >= kFixedPhonesEntries ? audio::PhonesRoute::Device : audio::PhonesRoute(phones);
    setup.phonesDevice = phones >= kFixedPhonesEntries ? phones - kFixedPhonesEntries : -1;
    const int period = controls_.outputPeriod.currentIndex();
    setup.period = period >= 0 ? audio::kPeriodChoices[period] : audio::kDefaultPeriod;
    setup.latency = outputLatencyFor(values_.engine.bufferSeconds);
    setup.rate = audio::kRateChoices[std::max(0, controls_.outputRate.currentIndex())];
}

void OutputOptions::changed() {
    takeChoices();
    if (hooks_.apply) hooks_.apply();
    showStatus();
}

void OutputOptions::unload() {
    const audio::OutputSetup before = values_.engine.output;
    takeChoices();
    if (!(values_.engine.output == before) && hooks_.apply) hooks_.apply();
    write(kBackendValue, QString::number(int(backend_)));
    choices_[std::size_t(backend_)] = shown();
    for (const audio::OutputBackend backend : kBackends) {
        const Choices& choices = choices_[std::size_t(backend)];
        write(valueName(backend, kMainValue), choices.main);
        write(valueName(backend, kPhonesValue), choices.phones);
        write(valueName(backend, kPeriodValue), QString::number(choices.period));
        write(valueName(backend, kRateValue), QString::number(choices.rate));
    }
}

void OutputOptions::showStatus() {
    const audio::OutputStatus status = hooks_.status ? hooks_.status() : audio::OutputStatus{};
    if (status.backend.empty()) {
        controls_.outputLatency.setText(QStringLiteral("Not playing yet"));
        return;
    }
    QString text = QStringLiteral("%1: %2 ms latency, %3 Hz, %4-frame periods")
                       .arg(QString::fromStdString(status.backend))
                       .arg(status.latency * 1000, 0, 'f', 1)
                       .arg(status.rate)
                       .arg(status.period);
    text += status.phones ? QStringLiteral(", headphones on their own output")
                          : QStringLiteral(", headphones on the main output's left channel");
    controls_.outputLatency.setText(text);
}

}  // namespace kelvra::settings
