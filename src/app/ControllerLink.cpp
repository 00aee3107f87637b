#include "app/ControllerLink.h"

#include <QFileInfo>

#include "controllers/MappingFile.h"

namespace kelvra::app {

ControllerLink::ControllerLink(MainControls& controls, controllers::MidiDevices* devices,
                               std::function<void(const QString&)> tell)
    : devices_(devices),
      tell_(std::move(tell)),
      mapper_(controls.registry, [devices](const controllers::MidiMessage& message) {
          if (devices) devices->send(message);
      }) {
    if (!devices_) return;
    QObject::connect(devices_, &controllers::MidiDevices::received, &mapper_,
                     [this](const controllers::MidiMessage& message, const QString&) {
                         // A copy: the learner may end learning (and so itself) as it runs.
                         if (const auto learner = learner_)
                             learner(message);
                         else
                             mapper_.handle(message);
                     });
    QObject::connect(devices_, &controllers::MidiDevices::notice, &mapper_,
                     [this](const QString& text) { tell_(text); });
    // A controller's lights show what it was last sent: one (re)opened is sent everything, so a
    // light that changed while it was away, or while its port was still being connected, is
    // right again.
    QObject::connect(devices_, &controllers::MidiDevices::outputOpened, &mapper_,
                     [this](const QString&) { mapper_.resendLights(); });
}

settings::ControllerOptions::Hooks ControllerLink::optionHooks(const QString& programFolder) {
    settings::ControllerOptions::Hooks hooks;
    hooks.inputs = [this] { return devices_ ? devices_->inputs() : QStringList(); };
    hooks.outputs = [this] { return devices_ ? devices_->outputs() : QStringList(); };
    hooks.problem = [this] {
        return devices_ ? devices_->problem() : QStringLiteral("No MIDI in this program.");
    };
    hooks.choose = [this](const QStringList& inputs, const QStringList& outputs) {
        if (!devices_) return;
        devices_->setChosenInputs(inputs);
        devices_->setChosenOutputs(outputs);
    };
    hooks.mappingChosen = [this](const QString& file) { useMapping(file); };
    hooks.mappingFolders = settings::defaultMappingFolders(programFolder);
    return hooks;
}

void ControllerLink::useMapping(const QString& path, bool reread) {
    if (path == mappingPath_ && !reread) return;
    mappingPath_ = path;
    if (path.isEmpty()) {
        mapper_.clear();
        return;
    }
    const std::vector<controllers::MappingProblem> problems =
        mapper_.load(controllers::readMapping(path));
    if (problems.empty()) return;
    // One word for the DJ: the first problem and how many there are; the rest of the file works.
    QString text = QStringLiteral(
                       "The controller mapping \"%1\" has %2 line(s) that cannot be "
                       "used; they are skipped. %3")
                       .arg(QFileInfo(path).fileName())
                       .arg(problems.size())
                       .arg(controllers::describe(problems.front()));
    tell_(text);
}

}  // namespace kelvra::app
