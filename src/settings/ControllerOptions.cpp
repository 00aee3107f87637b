#include "settings/ControllerOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "settings/SettingsKey.h"

namespace kelvra::settings {
namespace {

// Device names, one a line: a port name never holds a line break.
const QString kInputsValue = QStringLiteral("MidiInputs");
const QString kOutputsValue = QStringLiteral("MidiOutputs");
const QString kMappingValue = QStringLiteral("ControllerMapping");
const QString kAbsentNote = QStringLiteral("not plugged in");

QStringList lines(const QString& stored) {
    if (stored == kAbsentMarker) return {};
    return stored.split(u'\n', Qt::SkipEmptyParts);
}

// The ports there now in the driver's order, then the chosen ones that are not.
std::vector<CheckListModel::Entry> entries(const QStringList& present, const QStringList& chosen) {
    std::vector<CheckListModel::Entry> list;
    for (const QString& name : present)
        list.push_back({name, {}, chosen.contains(name)});
    for (const QString& name : chosen)
        if (!present.contains(name)) list.push_back({name, kAbsentNote, true});
    return list;
}

// Whether `path` is there, or may be: a folder that cannot be read hides whether its files are.
bool mayStillBeThere(const QString& path) {
    const QFileInfo file(path);
    if (file.exists()) return true;
    const QFileInfo folder(file.absolutePath());
    return folder.exists() && !folder.isReadable();
}

}  // namespace

QStringList defaultMappingFolders(const QString& programFolder) {
    QStringList folders{QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        QStringLiteral("/kelvra/controllers")};
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                         QStringLiteral("kelvra/controllers"),
                                         QStandardPaths::LocateDirectory);
    folders << programFolder + QStringLiteral("/controllers");
    folders.removeDuplicates();
    return folders;
}

ControllerOptions::ControllerOptions(OptionsControls& controls, SettingsStore& store, Hooks hooks)
    : controls_(controls), store_(store), hooks_(std::move(hooks)) {
    QObject::connect(&controls_.midiInputs, &CheckListModel::toggled, [this](int) {
        chosenInputs_ = controls_.midiInputs.checkedNames();
        choose();
    });
    QObject::connect(&controls_.midiOutputs, &CheckListModel::toggled, [this](int) {
        chosenOutputs_ = controls_.midiOutputs.checkedNames();
        choose();
    });
    QObject::connect(&controls_.controllerMapping, &ChoiceModel::chosen, [this](int index) {
        mappingFile_ = index > 0 ? mappingPaths_.value(index - 1) : QString();
        if (hooks_.mappingChosen) hooks_.mappingChosen(mappingFile_);
    });
}

void ControllerOptions::load() {
    const auto read = [this](const QString& name) {
        return store_.readSetting(Hive::LocalMachine, kSettingsKey, name);
    };
    chosenInputs_ = lines(read(kInputsValue));
    chosenOutputs_ = lines(read(kOutputsValue));
    const QString mapping = read(kMappingValue);
    mappingFile_ = mapping == kAbsentMarker ? QString() : mapping;
    fillMappings();
    choose();
    if (hooks_.mappingChosen) hooks_.mappingChosen(mappingFile_);
}

void ControllerOptions::unload() {
    const auto write = [this](const QString& name, const QString& value) {
        store_.writeSetting(Hive::LocalMachine, kSettingsKey, name, value);
    };
    write(kInputsValue, chosenInputs_.join(u'\n'));
    write(kOutputsValue, chosenOutputs_.join(u'\n'));
    write(kMappingValue, mappingFile_);
}

void ControllerOptions::useMappingFile(const QString& path) {
    mappingFile_ = QFileInfo(path).absoluteFilePath();
    fillMappings();
    if (hooks_.mappingChosen) hooks_.mappingChosen(mappingFile_);
}

void ControllerOptions::choose() {
    if (hooks_.choose) hooks_.choose(chosenInputs_, chosenOutputs_);
    refresh();
}

void ControllerOptions::refresh() {
    const QStringList inputs = hooks_.inputs ? hooks_.inputs() : QStringList();
    const QStringList outputs = hooks_.outputs ? hooks_.outputs() : QStringList();
    controls_.midiInputs.setEntries(entries(inputs, chosenInputs_));
    controls_.midiOutputs.setEntries(entries(outputs, chosenOutputs_));
    const QString problem = hooks_.problem ? hooks_.problem() : QString();
    if (!problem.isEmpty())
        controls_.midiStatus.setText(problem);
    else if (inputs.isEmpty() && outputs.isEmpty())
        controls_.midiStatus.setText(QStringLiteral("No MIDI devices are plugged in."));
    else
        controls_.midiStatus.setText(
            QStringLiteral("%1 of %2 inputs and %3 of %4 outputs in use")
                .arg(
                    int(std::count_if(inputs.begin(), inputs.end(),
                                      [&](const QString& n) { return chosenInputs_.contains(n); })))
                .arg(inputs.size())
                .arg(int(
                    std::count_if(outputs.begin(), outputs.end(),
                                  [&](const QString& n) { return chosenOutputs_.contains(n); })))
                .arg(outputs.size()));
}

void ControllerOptions::fillMappings() {
    ChoiceModel& list = controls_.controllerMapping;
    list.clear();
    list.addItem(kNoMapping);
    mappingPaths_.clear();
    QStringList seen;
    for (const QString& folder : hooks_.mappingFolders) {
        const QFileInfoList files =
            QDir(folder).entryInfoList({QStringLiteral("*.map")}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            if (seen.contains(file.fileName())) continue;
            seen << file.fileName();
            list.addItem(file.completeBaseName());
            mappingPaths_ << file.absoluteFilePath();
        }
    }
    // A remembered file that is there but was not listed (its folder cannot be read, or is no
    // longer searched) stays the choice, listed by itself; the reader tells the DJ if it cannot
    // be used. One that has gone is no choice: no mapping until the DJ picks another.
    int at = int(mappingPaths_.indexOf(mappingFile_));
    if (at < 0 && !mappingFile_.isEmpty() && mayStillBeThere(mappingFile_)) {
        list.addItem(QFileInfo(mappingFile_).completeBaseName());
        mappingPaths_ << mappingFile_;
        at = int(mappingPaths_.size()) - 1;
    }
    if (at < 0) mappingFile_.clear();
    list.setCurrentIndex(at + 1);
}

}  // namespace kelvra::settings
