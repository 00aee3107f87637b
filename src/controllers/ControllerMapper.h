// Binds a loaded mapping to the program's controls and plays the controller's messages on them:
// notes and ccs press buttons, move sliders and turn jog wheels the way the mouse would, and the
// controller's lights follow the state the registry gives their controls. Thread: UI thread only
// (the models live there); a MIDI input thread hands its messages over before calling handle().
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "controllers/CcDecoding.h"
#include "controllers/MidiMapping.h"
#include "controllers/MidiMessage.h"
#include "core/ControlModels.h"
#include "core/ControlRegistry.h"

namespace kelvra::controllers {

class ControllerMapper : public QObject {
    Q_OBJECT
  public:
    // Where light messages go (the controller's output).
    using LightSink = std::function<void(const MidiMessage&)>;

    // Mappings name the controls of `registry`, which outlives the mapper.
    ControllerMapper(const ControlRegistry& registry, LightSink lights, QObject* parent = nullptr);
    ~ControllerMapper() override;

    // Replaces the bound mapping with this one and sends every light's current state. Returns
    // the mapping's own problems and those found binding it (unknown controls, a button bound
    // as a slider, an index the control does not have), by line; those lines are skipped.
    std::vector<MappingProblem> load(const MidiMapping& mapping);
    // Unbinds everything; lights this mapping lit are put out.
    void clear();
    // Sends every light's state again, as to a controller that has just been plugged in.
    void resendLights();

    // One message from the controller. Messages no binding listens to are ignored.
    void handle(const MidiMessage& message);

    int inputCount() const { return static_cast<int>(inputs_.size()); }
    int lightCount() const { return static_cast<int>(lights_.size()); }

  private:
    struct Input {
        InputBinding binding;
        QPointer<ButtonModel> button;
        QPointer<SliderModel> slider;
        QPointer<JogModel> jog;
        bool pressed = false;
        bool topIsMinimum = false;
        FourteenBitPair pair;
        SoftTakeover takeover;
    };
    struct Light {
        LightBinding binding;
        QPointer<ButtonModel> button;
        QPointer<DeckDisplayModel> display;
        DeckDisplayModel::Lamp lamp = DeckDisplayModel::Play;
        bool known = false;  // whether `lit` has been sent
        bool lit = false;
    };

    std::optional<QString> bindInput(const InputBinding& binding, const RegisteredControl& target);
    std::optional<QString> checkTarget(const QString& name, int index,
                                       const RegisteredControl*& target);
    void act(Input& input, bool noteOn, int number, int value);
    void press(Input& input, bool down);
    void moveSlider(Input& input, double share);
    void setSlider(Input& input, int value);
    void sliderMovedElsewhere(SliderModel* slider);
    void refresh(Light& light);
    void send(const Light& light, bool lit);

    const ControlRegistry& registry_;
    LightSink sink_;
    std::vector<std::unique_ptr<Input>> inputs_;  // stable addresses for the connections
    std::vector<std::unique_ptr<Light>> lights_;
    // The context of this mapping's connections: replaced on load, which cuts them all.
    std::unique_ptr<QObject> connections_;
    const Input* moving_ = nullptr;  // the binding moving a slider right now
    int generation_ = 0;             // counts the mappings bound, to notice a switch mid-message
};

}  // namespace kelvra::controllers
