#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "core/FileHelpers.h"
#include "core/Rounding.h"
#include "settings/SettingsKey.h"
#include "settings/StoredRanges.h"

namespace kelvra::settings {
namespace {

constexpr int kMaxDevices = 6;
constexpr std::uint32_t kAccurateSeek = 131072;
const QString kAutoFadeValue = QStringLiteral("AutoFadeLength");
const QString kSkipSilenceValue = QStringLiteral("AutoSkipSilence");
const QString kShowWaveformsValue = QStringLiteral("ShowWaveforms");
const QString kMatchLoudnessValue = QStringLiteral("MatchLoudness");
const QString kShowElapsedValue = QStringLiteral("ShowElapsed");
const QString kDockPlaylistValue = QStringLiteral("DockPlaylist");
const QString kAnalysisCacheValue = QStringLiteral("AnalysisCacheLimitMB");
// The analysis cache's size limit: absent (0) is the default; below a few songs' worth or above a
// terabyte is no sensible limit.
constexpr std::int64_t kDefaultAnalysisCacheMb = 1024;
constexpr double kLeastAnalysisCacheMb = 16, kMostAnalysisCacheMb = 1 << 20;

QString number(double value) {
    return QString::number(value, 'g', 15);
}

}  // namespace

Options::Options(OptionsControls& controls, SettingsStore& store, Dialogs& dialogs,
                 ProgramSettings& values, QString programFolder, Hooks hooks)
    : controls_(controls),
      store_(store),
      dialogs_(dialogs),
      values_(values),
      programFolder_(std::move(programFolder)),
      hooks_(std::move(hooks)),
      outputs_(controls_, store_, values_, hooks_.outputs),
      controllers_(controls_, store_, hooks_.controllers) {
    QObject::connect(&controls_.device, &ChoiceModel::chosen,
                     [this](int) { deviceText_ = controls_.device.currentText(); });
    QObject::connect(&controls_.quality, &ChoiceModel::chosen,
                     [this](int) { qualityText_ = controls_.quality.currentText(); });
    QObject::connect(&controls_.djSetup, &ChoiceModel::chosen, [this](int index) {
        values_.DjSetup = static_cast<std::int16_t>(index);
        if (hooks_.djSetupChanged) hooks_.djSetupChanged(index);
    });
    const auto displayOption = [this] {
        takeDisplayOptions();
        if (hooks_.displayOptionsChanged) hooks_.displayOptionsChanged();
    };
    for (CheckModel* box : {&controls_.showWaveforms, &controls_.matchLoudness,
                            &controls_.showElapsed, &controls_.dockPlaylist})
        QObject::connect(box, &CheckModel::clicked, displayOption);
    QObject::connect(&controls_.playlistPath, &TextModel::leftByUser,
                     [this] { checkPlaylistFolder(); });
}

QString Options::read(const QString& name) const {
    return store_.readSetting(Hive::LocalMachine, kSettingsKey, name);
}

double Options::readNumber(const QString& name) const {
    return settings::readNumber(read(name));
}

void Options::write(const QString& name, const QString& value) {
    store_.writeSetting(Hive::LocalMachine, kSettingsKey, name, value);
}

void Options::load() {
    values_.cueSearchInterval = 80;

    controls_.quality.clear();
    controls_.quality.addItem(kQualityCd);
    controls_.quality.addItem(kQualityFm);

    controls_.device.clear();
    controls_.device.addItem(kDefaultDevice);
    for (int device = 1; device <= kMaxDevices && hooks_.deviceDescription; ++device) {
        const std::optional<QString> description = hooks_.deviceDescription(device);
        if (!description) break;
        controls_.device.addItem(*description);
    }

    const QString storedDevice = read("initDevice");
    qualityText_ = read("initQuality");
    // Every stored number is brought into its range before anything uses it; the output
    // section's join them, and the DJ hears of them all at the end, in one message.
    StoredRanges check(store_);
    values_.engine.streamFlags =
        static_cast<std::uint32_t>(check.oneOf("SeekAccuracy", {double(kAccurateSeek)}, 0));
    values_.engine.bufferSeconds = check.ranged("Buffer", controls_.buffer.minimum() / 10.0,
                                                controls_.buffer.maximum() / 10.0);
    values_.pitchRangeFactor = check.oneOf("pitchRange", {1.0, 1.5, 2.0}, 1.0);
    values_.turntableStopStep = static_cast<std::int32_t>(
        roundEven(check.ranged("TurntableStopSpeed", controls_.turntableStop.minimum(),
                               controls_.turntableStop.maximum())));
    values_.AutomixStart = static_cast<std::int16_t>(roundEven(
        check.ranged("AutomixStart", controls_.autoMix.minimum(), controls_.autoMix.maximum())));
    values_.DjSetup = static_cast<std::int16_t>(check.oneOf("DjSetup", {1, 2}, 0));
    values_.playlistPath = read("playlistPath");
    values_.optStartUp = static_cast<std::int16_t>(check.oneOf("optStartUp", {1}, 1));
    // Absent (a store from before these options) reads as 0: the plain 5 s fade, silence kept.
    const double fade =
        check.ranged(kAutoFadeValue, controls_.autoFade.minimum(), controls_.autoFade.maximum());
    values_.autoFadeSeconds = static_cast<std::int16_t>(fade == 0 ? 5 : roundEven(fade));
    values_.autoSkipSilence = readNumber(kSkipSilenceValue) != 0;
    controls_.autoFade.setValue(values_.autoFadeSeconds);
    controls_.skipSilence.setCurrentIndex(values_.autoSkipSilence ? 1 : 0);
    // Waveforms are shown unless turned off; loudness matching is off unless turned on.
    const QString waveforms = read(kShowWaveformsValue);
    values_.showWaveforms =
        waveforms == kAbsentMarker || waveforms.isEmpty() || readNumber(kShowWaveformsValue) != 0;
    values_.matchLoudness = readNumber(kMatchLoudnessValue) != 0;
    values_.showElapsed = readNumber(kShowElapsedValue) != 0;
    values_.dockPlaylist = readNumber(kDockPlaylistValue) != 0;
    controls_.showWaveforms.setValue(values_.showWaveforms ? 1 : 0);
    controls_.matchLoudness.setValue(values_.matchLoudness ? 1 : 0);
    controls_.showElapsed.setValue(values_.showElapsed ? 1 : 0);
    controls_.dockPlaylist.setValue(values_.dockPlaylist ? 1 : 0);
    const double cacheMb =
        check.ranged(kAnalysisCacheValue, kLeastAnalysisCacheMb, kMostAnalysisCacheMb);
    values_.analysisCacheMegabytes = cacheMb == 0 ? kDefaultAnalysisCacheMb : roundEven(cacheMb);
    outputs_.readStored(check);
    check.tell(dialogs_);

    controls_.seekAccuracy.setCurrentIndex(values_.engine.streamFlags == 0 ? 0 : 1);
    controls_.djSetup.setCurrentIndex(values_.DjSetup);

    // Only 1.0 and 1.5 can be chosen on the slider; a stored 2.0 widens it so the value shows
    // and survives the next close.
    if (values_.pitchRangeFactor == 2.0) {
        controls_.pitchRange.setRange(0, 2);
        controls_.pitchRange.setValue(2);
    } else if (values_.pitchRangeFactor == 1.5) {
        controls_.pitchRange.setValue(1);
    } else {
        controls_.pitchRange.setValue(0);
        values_.pitchRangeFactor = 1.0;
    }

    if (qualityText_ == kQualityCd) {
        controls_.quality.setCurrentIndex(0);
        values_.engine.outputRate = 44100;
    } else if (qualityText_ == kQualityFm) {
        controls_.quality.setCurrentIndex(1);
        values_.engine.outputRate = 22050;
    } else {
        // No usable quality stored: a first start. FM quality, and offer the associations.
        qualityText_ = kQualityFm;
        controls_.quality.setCurrentIndex(1);
        values_.engine.outputRate = 22050;
        values_.optStartUp = 1;
    }

    deviceText_ = storedDevice;
    if (storedDevice == kAbsentMarker) {
        deviceText_ = kDefaultDevice;
        controls_.device.setCurrentIndex(0);
        values_.engine.outputDevice = -1;
    }
    const int listed = static_cast<int>(controls_.device.items().indexOf(deviceText_));
    if (listed >= 0) {
        controls_.device.setCurrentIndex(listed);
        values_.engine.outputDevice = static_cast<std::int16_t>(listed - 1);
    }

    SliderModel& stop = controls_.turntableStop;
    if (values_.turntableStopStep == 0)
        values_.turntableStopStep = stop.maximum() / 2 + stop.minimum() / 2;
    stop.setValue(values_.turntableStopStep);

    SliderModel& autoMix = controls_.autoMix;
    if (values_.AutomixStart == 0)
        values_.AutomixStart =
            static_cast<std::int16_t>(autoMix.maximum() / 2 + autoMix.minimum() / 2);
    autoMix.setValue(values_.AutomixStart);

    SliderModel& buffer = controls_.buffer;
    if (values_.engine.bufferSeconds == 0) {
        buffer.setValue(buffer.maximum() / 2 + buffer.minimum() / 2);
        values_.engine.bufferSeconds = buffer.value() / 10.0;
    } else {
        buffer.setValue(static_cast<int>(roundEven(values_.engine.bufferSeconds * 10)));
    }

    if (values_.playlistPath == kAbsentMarker ||
        values_.playlistPath.toLower() == kAbsentMarker.toLower()) {
        values_.playlistPath = defaultPlaylistFolder();
        controls_.playlistPath.setText(values_.playlistPath);
        QDir().mkpath(values_.playlistPath);
    } else {
        controls_.playlistPath.setText(values_.playlistPath);
        checkPlaylistFolder();
    }

    outputs_.load();
    controllers_.load();
    if (hooks_.applyPitch) hooks_.applyPitch();
}

void Options::checkPlaylistFolder() {
    const QString typed = controls_.playlistPath.text();
    // A folder counts as there when looking it up gives its name. A path ending in the separator
    // gives only ".", so it counts as missing even when the folder exists.
    const QFileInfo info(typed);
    const QString found =
        typed.isEmpty() || typed.endsWith(u'/') || !info.exists() ? QString() : info.fileName();
    if (found.size() > 1) return;

    const MessageResult answer = dialogs_.message(
        "Path Not Found...", "The Playlist directory was not found. Do you want to create it?",
        MessageButtons::YesNo, MessageIcon::Exclamation);
    if (answer == MessageResult::Yes) {
        if (!QDir().mkdir(addBackslash(typed))) {
            dialogs_.message("Path Error...",
                             "The Playlist directory could not be created. Please ensure that the "
                             "path is valid",
                             MessageButtons::Ok, MessageIcon::Exclamation);
            controls_.playlistPath.setText(values_.playlistPath);
        }
        return;
    }
    if (typed == values_.playlistPath) {
        values_.playlistPath = defaultPlaylistFolder();
        controls_.playlistPath.setText(values_.playlistPath);
    } else {
        controls_.playlistPath.setText(values_.playlistPath);
    }
}

void Options::unload() {
    values_.turntableStopStep = controls_.turntableStop.value();
    switch (controls_.pitchRange.value()) {
        case 0:
            values_.pitchRangeFactor = 1.0;
            break;
        case 1:
            values_.pitchRangeFactor = 1.5;
            break;
        case 2:
            values_.pitchRangeFactor = 2.0;
            break;
        default:
            break;
    }
    values_.engine.streamFlags = controls_.seekAccuracy.currentIndex() == 0 ? 0 : kAccurateSeek;
    values_.AutomixStart = static_cast<std::int16_t>(controls_.autoMix.value());
    values_.engine.bufferSeconds = controls_.buffer.value() / 10.0;
    values_.playlistPath = controls_.playlistPath.text();
    values_.autoFadeSeconds = static_cast<std::int16_t>(controls_.autoFade.value());
    values_.autoSkipSilence = controls_.skipSilence.currentIndex() == 1;
    takeDisplayOptions();

    write("optStartUp", QString::number(values_.optStartUp));
    write("SeekAccuracy", QString::number(values_.engine.streamFlags));
    write("initQuality", qualityText_);
    write("initDevice", deviceText_);
    write("TurntableStopSpeed", QString::number(values_.turntableStopStep));
    write("pitchRange", number(values_.pitchRangeFactor));
    write("DjSetup", QString::number(values_.DjSetup));
    write("AutomixStart", QString::number(values_.AutomixStart));
    write("Buffer", number(values_.engine.bufferSeconds));
    write("playlistPath", values_.playlistPath);
    write(kAutoFadeValue, QString::number(values_.autoFadeSeconds));
    write(kSkipSilenceValue, values_.autoSkipSilence ? "1" : "0");
    write(kShowWaveformsValue, values_.showWaveforms ? "1" : "0");
    write(kMatchLoudnessValue, values_.matchLoudness ? "1" : "0");
    write(kShowElapsedValue, values_.showElapsed ? "1" : "0");
    write(kDockPlaylistValue, values_.dockPlaylist ? "1" : "0");
    write(kAnalysisCacheValue, QString::number(values_.analysisCacheMegabytes));
    outputs_.unload();
    controllers_.unload();

    if (hooks_.applyPitch) hooks_.applyPitch();
    if (hooks_.setCueInterval) hooks_.setCueInterval(values_.cueSearchInterval);
    if (hooks_.displayOptionsChanged) hooks_.displayOptionsChanged();
}

void Options::takeDisplayOptions() {
    values_.showWaveforms = controls_.showWaveforms.isChecked();
    values_.matchLoudness = controls_.matchLoudness.isChecked();
    values_.showElapsed = controls_.showElapsed.isChecked();
    values_.dockPlaylist = controls_.dockPlaylist.isChecked();
}

}  // namespace kelvra::settings
