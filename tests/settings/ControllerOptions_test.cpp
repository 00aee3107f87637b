// The controllers section: the remembered MIDI devices handed to the devices at start-up (absent
// ones kept ticked and marked), ticks applied at once and written back, and the mapping files
// listed from the DJ's folder before the shipped one.
#include "settings/ControllerOptions.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/MemorySettingsStore.h"
#include "settings/SettingsKey.h"

namespace kelvra::settings {
namespace {

struct Rig {
    OptionsControls controls;
    MemorySettingsStore store;
    QStringList present{"Mixer Two:Mixer Two MIDI 1", "Midi Through:Midi Through Port-0"};
    QString problem;
    std::vector<std::pair<QStringList, QStringList>> chosen;
    QStringList mappings;

    ControllerOptions::Hooks hooks(QStringList folders = {}) {
        ControllerOptions::Hooks h;
        h.inputs = [this] { return present; };
        h.outputs = [this] { return present; };
        h.problem = [this] { return problem; };
        h.choose = [this](const QStringList& in, const QStringList& out) {
            chosen.emplace_back(in, out);
        };
        h.mappingChosen = [this](const QString& file) { mappings << file; };
        h.mappingFolders = std::move(folders);
        return h;
    }
    QString stored(const QString& name) {
        return store.readSetting(Hive::LocalMachine, kSettingsKey, name);
    }
};

QStringList shown(const CheckListModel& list) {
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << (list.entries()[std::size_t(i)].checked ? "[x] " : "[ ] ") + list.text(i);
    return lines;
}

TEST(ControllerOptions, RemembersTheDevicesHandsThemOnAtStartUpAndAppliesTicksAtOnce) {
    Rig rig;
    ControllerOptions first(rig.controls, rig.store, rig.hooks());
    first.load();
    // A first start: nothing chosen, nothing opened, the ports there offered.
    ASSERT_EQ(rig.chosen.size(), 1u);
    EXPECT_TRUE(rig.chosen[0].first.isEmpty());
    EXPECT_EQ(
        shown(rig.controls.midiInputs),
        QStringList({"[ ] Mixer Two:Mixer Two MIDI 1", "[ ] Midi Through:Midi Through Port-0"}));
    EXPECT_EQ(rig.controls.midiStatus.text(),
              QStringLiteral("0 of 2 inputs and 0 of 2 outputs in use"));

    // The DJ ticks the mixer's input and output: opened at once.
    rig.controls.midiInputs.toggle(0);
    rig.controls.midiOutputs.toggle(0);
    ASSERT_EQ(rig.chosen.size(), 3u);
    EXPECT_EQ(rig.chosen.back().first, QStringList{"Mixer Two:Mixer Two MIDI 1"});
    EXPECT_EQ(rig.chosen.back().second, QStringList{"Mixer Two:Mixer Two MIDI 1"});
    EXPECT_EQ(rig.controls.midiStatus.text(),
              QStringLiteral("1 of 2 inputs and 1 of 2 outputs in use"));
    first.unload();
    EXPECT_EQ(rig.stored("MidiInputs"), QStringLiteral("Mixer Two:Mixer Two MIDI 1"));
    EXPECT_EQ(rig.stored("MidiOutputs"), QStringLiteral("Mixer Two:Mixer Two MIDI 1"));

    // Next start, the mixer not plugged in and a second device remembered too: both handed on,
    // the absent one kept ticked and marked, and the choice survives another close.
    rig.store.writeSetting(Hive::LocalMachine, kSettingsKey, "MidiInputs",
                           "Mixer Two:Mixer Two MIDI 1\nPad Eight:Pad Eight MIDI 1");
    rig.present = {"Pad Eight:Pad Eight MIDI 1"};
    rig.chosen.clear();
    OptionsControls controls;
    ControllerOptions second(controls, rig.store, rig.hooks());
    second.load();
    ASSERT_EQ(rig.chosen.size(), 1u);
    EXPECT_EQ(rig.chosen[0].first,
              QStringList({"Mixer Two:Mixer Two MIDI 1", "Pad Eight:Pad Eight MIDI 1"}));
    EXPECT_EQ(shown(controls.midiInputs),
              QStringList({"[x] Pad Eight:Pad Eight MIDI 1",
                           "[x] Mixer Two:Mixer Two MIDI 1 (not plugged in)"}));
    // Plugged in later: the list follows, the ticks stay.
    rig.present = {"Mixer Two:Mixer Two MIDI 1", "Pad Eight:Pad Eight MIDI 1"};
    second.refresh();
    EXPECT_EQ(shown(controls.midiInputs),
              QStringList({"[x] Mixer Two:Mixer Two MIDI 1", "[x] Pad Eight:Pad Eight MIDI 1"}));
    second.unload();
    EXPECT_EQ(rig.stored("MidiInputs"),
              QStringLiteral("Mixer Two:Mixer Two MIDI 1\nPad Eight:Pad Eight MIDI 1"));

    // Unticking an absent device forgets it; no MIDI system at all says why.
    rig.present.clear();
    rig.problem = QStringLiteral("The JACK server is not running.");
    second.refresh();
    controls.midiInputs.toggle(0);
    EXPECT_EQ(rig.chosen.back().first, QStringList{"Pad Eight:Pad Eight MIDI 1"});
    EXPECT_EQ(controls.midiStatus.text(), QStringLiteral("The JACK server is not running."));
}

TEST(ControllerOptions, ListsTheDjsMappingsBeforeTheShippedOnesAndRemembersTheChoice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString own = dir.filePath("own"), shipped = dir.filePath("shipped");
    QDir().mkpath(own);
    QDir().mkpath(shipped);
    for (const QString& path : {own + "/Mixer Two.map", shipped + "/Mixer Two.map",
                                shipped + "/Pad Eight.map", shipped + "/notes.txt"}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Rig rig;
    ControllerOptions options(rig.controls, rig.store, rig.hooks({own, shipped}));
    options.load();
    EXPECT_EQ(rig.controls.controllerMapping.items(),
              QStringList({"None", "Mixer Two", "Pad Eight"}));
    EXPECT_EQ(rig.controls.controllerMapping.currentIndex(), 0);
    EXPECT_EQ(rig.mappings, QStringList{QString()});

    // The DJ's own file wins over the shipped one of the same name.
    rig.controls.controllerMapping.choose(1);
    EXPECT_EQ(rig.mappings.back(), own + "/Mixer Two.map");
    options.unload();
    EXPECT_EQ(rig.stored("ControllerMapping"), own + "/Mixer Two.map");

    // Remembered at the next start; a remembered file since deleted is no mapping.
    OptionsControls again;
    ControllerOptions next(again, rig.store, rig.hooks({own, shipped}));
    next.load();
    EXPECT_EQ(again.controllerMapping.currentText(), QStringLiteral("Mixer Two"));
    EXPECT_EQ(rig.mappings.back(), own + "/Mixer Two.map");
    QFile::remove(own + "/Mixer Two.map");
    OptionsControls gone;
    ControllerOptions last(gone, rig.store, rig.hooks({own, shipped}));
    last.load();
    EXPECT_EQ(gone.controllerMapping.currentText(), QStringLiteral("None"));
    EXPECT_EQ(rig.mappings.back(), QString());
}

// A remembered mapping that the folders searched do not list (a folder that cannot be read, or
// one no longer searched) is still the DJ's choice: kept, listed by itself and handed on.
TEST(ControllerOptions, ARememberedMappingTheFoldersDoNotListStaysChosen) {
    QTemporaryDir dir;
    const QString own = dir.filePath("own"), elsewhere = dir.filePath("elsewhere");
    QDir().mkpath(own);
    QDir().mkpath(elsewhere);
    const QString chosen = elsewhere + "/Deck Pro.map";
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    Rig rig;
    rig.store.writeSetting(Hive::LocalMachine, kSettingsKey, "ControllerMapping", chosen);
    ControllerOptions options(rig.controls, rig.store, rig.hooks({own}));
    options.load();
    EXPECT_EQ(rig.controls.controllerMapping.items(), QStringList({"None", "Deck Pro"}));
    EXPECT_EQ(rig.controls.controllerMapping.currentText(), QStringLiteral("Deck Pro"));
    EXPECT_EQ(rig.mappings.back(), chosen);
    options.unload();
    EXPECT_EQ(rig.stored("ControllerMapping"), chosen);

    // Where reading the folder is refused (not to the superuser), the file may be there still.
    if (::geteuid() != 0) {
        const QString locked = dir.filePath("locked");
        QDir().mkpath(locked);
        QFile(locked).setPermissions(QFileDevice::WriteOwner);  // no reading, no looking in
        const QString inside = locked + "/Hidden.map";
        rig.store.writeSetting(Hive::LocalMachine, kSettingsKey, "ControllerMapping", inside);
        OptionsControls again;
        ControllerOptions next(again, rig.store, rig.hooks({own, locked}));
        next.load();
        QFile(locked).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ExeOwner);
        EXPECT_EQ(again.controllerMapping.currentText(), QStringLiteral("Hidden"));
        EXPECT_EQ(rig.mappings.back(), inside);
    }
}

}  // namespace
}  // namespace kelvra::settings
