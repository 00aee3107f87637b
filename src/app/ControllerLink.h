// The controllers as the main window has them: the mapping bound to the window's controls, the
// MIDI devices' messages played through it and the lights sent back, and the options' choices
// of devices and mapping followed. Without devices (a headless session, a test) the mapping is
// still there, fed by whoever has messages.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/MainControls.h"
#include "controllers/ControllerMapper.h"
#include "controllers/MidiDevices.h"
#include "settings/ControllerOptions.h"

namespace kelvra::app {

class ControllerLink {
  public:
    // `devices` may be null. `tell` gives the DJ a passing word (an unplugged device, a mapping
    // with lines that cannot be used).
    ControllerLink(MainControls& controls, controllers::MidiDevices* devices,
                   std::function<void(const QString&)> tell);

    controllers::ControllerMapper& mapper() { return mapper_; }
    controllers::MidiDevices* devices() { return devices_; }
    // The options' hooks for the controllers section, over these devices.
    settings::ControllerOptions::Hooks optionHooks(const QString& programFolder);
    // Binds the mapping in `path` (empty: none); what cannot be used is told. The same path
    // again is read again only with `reread` (after learning wrote into it).
    void useMapping(const QString& path, bool reread = false);
    // While learning, the controller's messages go to `learner` instead of the mapping (the
    // DJ's moves teach, they do not play); null ends it.
    void setLearner(std::function<void(const controllers::MidiMessage&)> learner) {
        learner_ = std::move(learner);
    }
    QString mappingPath() const { return mappingPath_; }

  private:
    controllers::MidiDevices* devices_;
    std::function<void(const QString&)> tell_;
    controllers::ControllerMapper mapper_;
    QString mappingPath_;
    std::function<void(const controllers::MidiMessage&)> learner_;
};

}  // namespace kelvra::app
