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

}  // namespace

double outputLatencyFor(double bufferSeconds) {
    return std::clamp(bufferSeconds / 20.0, 0.01, 0.1);
}

OutputOptions::OutputOptions(OptionsControls& controls, SettingsStore& store,
                             ProgramSettings& values, Hooks hooks)
    : controls_(controls), store_(store), values_(values), hooks_(std::move(hooks)) {
    QObject::connect(&controls_.outputBackend, &ChoiceModel::chosen, [this](int) {
        fillDevices();
        controls_.outputMain.setCurrentIndex(0);
        controls_.outputPhones.setCurrentIndex(0);
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

void OutputOptions::fillDevices() {
    const auto backend = audio::OutputBackend(std::max(0, controls_.outputBackend.currentIndex()));
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
    const int backend = int(readNumber(read(kBackendValue)));
    controls_.outputBackend.setCurrentIndex(backend >= 0 && backend <= 2 ? backend : 0);
    fillDevices();
    // A device no longer there is the default again (the engine says so if that fails too).
    const int main = int(controls_.outputMain.items().indexOf(read(kMainValue)));
    controls_.outputMain.setCurrentIndex(std::max(main, 0));
    const int phones = int(controls_.outputPhones.items().indexOf(read(kPhonesValue)));
    controls_.outputPhones.setCurrentIndex(std::max(phones, 0));
    const int period = int(readNumber(read(kPeriodValue)));
    const auto& choices = audio::kPeriodChoices;
    const auto* found = std::find(std::begin(choices), std::end(choices), period);
    const auto* chosen =
        found != std::end(choices)
            ? found
            : std::find(std::begin(choices), std::end(choices), audio::kDefaultPeriod);
    controls_.outputPeriod.setCurrentIndex(int(chosen - std::begin(choices)));
    const int rate = int(readNumber(read(kRateValue)));
    const auto* rateFound =
        std::find(std::begin(audio::kRateChoices), std::end(audio::kRateChoices), rate);
    controls_.outputRate.setCurrentIndex(rateFound != std::end(audio::kRateChoices)
                                             ? int(rateFound - std::begin(audio::kRateChoices))
                                             : 0);
    takeChoices();
    showStatus();
}

void OutputOptions::takeChoices() {
    audio::OutputSetup& setup = values_.engine.output;
    setup.backend = audio::OutputBackend(std::max(0, controls_.outputBackend.currentIndex()));
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
    write(kBackendValue, QString::number(controls_.outputBackend.currentIndex()));
    write(kMainValue, controls_.outputMain.currentText());
    write(kPhonesValue, controls_.outputPhones.currentText());
    write(kPeriodValue, QString::number(values_.engine.output.period));
    write(kRateValue, QString::number(values_.engine.output.rate));
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
