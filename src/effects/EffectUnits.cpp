#include "effects/EffectUnits.h"

#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "settings/SettingsKey.h"

namespace kelvra::effects {

namespace {

using audio::fx::EffectInfo;
using audio::fx::ParamInfo;
using Kind = audio::fx::ParamInfo::Kind;

// About a second of display ticks after the last change before the units are written down.
constexpr int kSaveAfterTicks = 12;

// What a unit holds when nothing was remembered: one press of its on button does something.
constexpr const char* kFirstEffects[kUnitCount] = {"echo", "echo", "reverb", "flanger"};
constexpr audio::fx::Bus kFirstBuses[kUnitCount] = {audio::fx::Bus::LeftDeck,
                                                    audio::fx::Bus::RightDeck, audio::fx::Bus::Main,
                                                    audio::fx::Bus::Main};

std::vector<float> beatSteps(const ParamInfo& param) {
    std::vector<float> steps;
    for (float step : audio::fx::kBeatSteps)
        if (step >= param.min - 1e-6f && step <= param.max + 1e-6f) steps.push_back(step);
    if (steps.empty()) steps.push_back(param.value);
    return steps;
}

bool ratioScale(const ParamInfo& param) {
    return param.logarithmic && param.min > 0 && param.max > param.min;
}

QString unitKey(int unit) {
    return settings::kSettingsKey + QStringLiteral("\\Effects\\Unit%1").arg(unit + 1);
}

QString rowKey() {
    return settings::kSettingsKey + QStringLiteral("\\Effects");
}

}  // namespace

QString paramText(const ParamInfo& param, float value) {
    const QString unit = QString::fromStdString(param.unit);
    switch (param.kind) {
        case Kind::Toggle:
            return value >= 0.5f ? QStringLiteral("on") : QStringLiteral("off");
        case Kind::Integer:
            return QString::number(std::lrint(value)) + (unit.isEmpty() ? "" : " " + unit);
        case Kind::Beats:
            // The first denominator that gives the value is the fraction in its lowest terms.
            for (int denominator : {1, 2, 3, 4, 8, 16, 32}) {
                const long numerator = std::lrint(double(value) * denominator);
                if (numerator > 0 && std::fabs(double(numerator) / denominator - value) < 1e-4)
                    return denominator == 1
                               ? QString::number(numerator)
                               : QStringLiteral("%1/%2").arg(numerator).arg(denominator);
            }
            return QString::number(double(value), 'g', 3);
        case Kind::Continuous:
            break;
    }
    if (unit == u"Hz" && value >= 1000) return QString::number(value / 1000.0, 'f', 1) + " kHz";
    if (unit == u"Hz") return QString::number(std::lrint(value)) + " Hz";
    if (unit == u"dB") return QString::number(double(value), 'f', 1) + " dB";
    if (unit == u"ms") return QString::number(double(value), 'f', value < 10 ? 1 : 0) + " ms";
    // A share of 0..1 in "%" reads as a percentage; a plugin's own percentages are 0..100.
    if (unit == u"%")
        return QString::number(std::lrint(param.max <= 1 ? value * 100.0 : double(value))) + "%";
    if (unit.isEmpty()) return QString::number(double(value), 'f', 2);
    return QString::number(double(value), 'g', 3) + " " + unit;
}

double knobPosition(const ParamInfo& param, float value) {
    if (param.kind == Kind::Beats) {
        const std::vector<float> steps = beatSteps(param);
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < steps.size(); ++i)
            if (std::fabs(std::log(steps[i] / value)) < std::fabs(std::log(steps[nearest] / value)))
                nearest = i;
        return steps.size() < 2 ? 0.0 : double(nearest) / double(steps.size() - 1);
    }
    if (param.max <= param.min) return 0;
    if (ratioScale(param))
        return std::log(double(value) / param.min) / std::log(double(param.max) / param.min);
    return (double(value) - param.min) / (double(param.max) - param.min);
}

float valueAtKnob(const ParamInfo& param, double position) {
    position = std::clamp(position, 0.0, 1.0);
    switch (param.kind) {
        case Kind::Beats: {
            const std::vector<float> steps = beatSteps(param);
            return steps[std::size_t(std::lrint(position * double(steps.size() - 1)))];
        }
        case Kind::Toggle:
            return position >= 0.5 ? param.max : param.min;
        default:
            break;
    }
    double value = ratioScale(param) ? param.min * std::pow(double(param.max) / param.min, position)
                                     : param.min + position * (double(param.max) - param.min);
    if (param.kind == Kind::Integer) value = std::nearbyint(value);
    return std::clamp(float(value), param.min, param.max);
}

EffectUnits::EffectUnits(audio::fx::Rack& rack, EffectCatalogue& catalogue,
                         EffectControls& controls, settings::SettingsStore* store)
    : rack_(rack), catalogue_(catalogue), controls_(controls), store_(store) {
    for (int u = 0; u < kUnitCount; ++u)
        bind(u);
    QObject::connect(&controls_.show, &ButtonModel::clicked, [this] {
        controls_.show.setLit(!controls_.show.isLit());
        if (controls_.show.isLit()) fillChoices();
        changed();
    });
}

EffectUnits::~EffectUnits() {
    if (dirtyTicks_ > 0) save();
}

void EffectUnits::bind(int u) {
    UnitControls& unit = controls_.units[std::size_t(u)];
    auto toggle = [this](ButtonModel& button, auto apply) {
        QObject::connect(&button, &ButtonModel::clicked, [this, &button, apply] {
            button.setLit(!button.isLit());
            apply(button.isLit());
            changed();
        });
    };
    toggle(unit.on, [this, u](bool on) { rack_.setUnitOn(u, on); });
    toggle(unit.cutTails, [this, u](bool cut) { rack_.setCutTails(u, cut); });
    for (int b = 0; b < kBusCount; ++b)
        toggle(unit.assign[std::size_t(b)],
               [this, u, b](bool on) { rack_.setAssigned(u, audio::fx::Bus(b), on); });
    QObject::connect(&unit.mix, &SliderModel::changed, [this, u](int value) {
        rack_.setMix(u, float(value) / 100.0f);
        changed();
    });
    QObject::connect(&unit.super, &SliderModel::changed, [this, u] { moveSuper(u); });
    for (int s = 0; s < kSlotCount; ++s) {
        SlotControls& slot = unit.slotControls[std::size_t(s)];
        toggle(slot.on, [this, u, s](bool on) { rack_.setSlotOn(u, s, on); });
        QObject::connect(&slot.next, &ButtonModel::clicked, [this, u, s] { stepEffect(u, s, 1); });
        QObject::connect(&slot.previous, &ButtonModel::clicked,
                         [this, u, s] { stepEffect(u, s, -1); });
        QObject::connect(&slot.choice, &ChoiceModel::chosen, [this, u, s](int index) {
            if (index < 0 || index >= int(choiceIds_.size())) return;
            if (!load(u, s, choiceIds_[std::size_t(index)]).isEmpty()) showChoice(u, s);
        });
        for (int k = 0; k < kKnobsPerSlot; ++k)
            QObject::connect(
                &slot.knobs[std::size_t(k)], &SliderModel::changed, [this, u, s, k](int position) {
                    if (showing_) return;
                    const Slot& held = slots_[std::size_t(u)][std::size_t(s)];
                    if (!held.info || k >= int(held.info->params.size())) return;
                    applyParam(u, s, k,
                               valueAtKnob(held.info->params[std::size_t(k)], position / 1000.0));
                });
    }
    rack_.setMix(u, float(unit.mix.value()) / 100.0f);
}

QString EffectUnits::load(int u, int s, const QString& id) {
    if (u < 0 || u >= kUnitCount || s < 0 || s >= kSlotCount)
        return QStringLiteral("no unit %1 slot %2 (units 1 to %3, slots 1 to %4)")
            .arg(u + 1)
            .arg(s + 1)
            .arg(kUnitCount)
            .arg(kSlotCount);
    Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    std::array<std::unique_ptr<audio::fx::Effect>, audio::fx::kBuses> copies;
    const EffectInfo* info = nullptr;
    if (id != u"none" && !id.isEmpty()) {
        QString error;
        copies = catalogue_.make(id, error);
        if (!copies[0]) return error;
        info = &copies[0]->info();
        // The catalogue's copy outlives the effect, and is what the knobs read.
        info = catalogue_.find(QString::fromStdString(info->id));
    }
    if (!rack_.load(u, s, std::move(copies))) return QStringLiteral("the engine is busy");
    slot.info = info;
    slot.id = info ? QString::fromStdString(info->id) : QString();
    slot.values.clear();
    if (info)
        for (const ParamInfo& param : info->params)
            slot.values.push_back(param.value);
    ButtonModel& on = controls_.units[std::size_t(u)].slotControls[std::size_t(s)].on;
    on.setLit(info != nullptr);
    rack_.setSlotOn(u, s, info != nullptr);
    showSlot(u, s);
    changed();
    return {};
}

QString EffectUnits::setParam(int u, int s, const QString& symbol, double value) {
    if (u < 0 || u >= kUnitCount || s < 0 || s >= kSlotCount)
        return QStringLiteral("no unit %1 slot %2").arg(u + 1).arg(s + 1);
    const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    if (!slot.info) return QStringLiteral("unit %1 slot %2 holds no effect").arg(u + 1).arg(s + 1);
    const std::vector<ParamInfo>& params = slot.info->params;
    for (std::size_t p = 0; p < params.size(); ++p)
        if (QString::fromStdString(params[p].symbol) == symbol) {
            if (!std::isfinite(value)) return QStringLiteral("bad value");
            applyParam(u, s, int(p), std::clamp(float(value), params[p].min, params[p].max));
            return {};
        }
    QStringList symbols;
    for (const ParamInfo& param : params)
        symbols << QString::fromStdString(param.symbol);
    return QString::fromStdString(slot.info->name) + " has no parameter '" + symbol + "' (it has " +
           symbols.join(", ") + ")";
}

void EffectUnits::applyParam(int u, int s, int p, float value) {
    Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    const ParamInfo& param = slot.info->params[std::size_t(p)];
    if (param.kind == Kind::Integer || param.kind == Kind::Toggle) value = std::nearbyint(value);
    slot.values[std::size_t(p)] = value;
    rack_.setParam(u, s, p, value);
    if (p < kKnobsPerSlot) showKnob(u, s, p);
    changed();
}

void EffectUnits::moveSuper(int u) {
    const double position = controls_.units[std::size_t(u)].super.value() / 100.0;
    for (int s = 0; s < kSlotCount; ++s) {
        const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
        if (!slot.info || slot.info->superParam < 0 ||
            slot.info->superParam >= int(slot.info->params.size()))
            continue;
        const int p = slot.info->superParam;
        applyParam(u, s, p, valueAtKnob(slot.info->params[std::size_t(p)], position));
    }
    changed();
}

void EffectUnits::stepEffect(int u, int s, int direction) {
    // "none" first, then every usable effect, round and round.
    std::vector<QString> ids{QStringLiteral("none")};
    for (const EffectInfo& info : catalogue_.all())
        if (info.usable) ids.push_back(QString::fromStdString(info.id));
    const QString now = loaded(u, s).isEmpty() ? QStringLiteral("none") : loaded(u, s);
    const auto at = std::find(ids.begin(), ids.end(), now);
    const int count = int(ids.size());
    int index = at == ids.end() ? 0 : int(at - ids.begin());
    index = ((index + direction) % count + count) % count;
    load(u, s, ids[std::size_t(index)]);
}

void EffectUnits::showSlot(int u, int s) {
    const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    SlotControls& controls = controls_.units[std::size_t(u)].slotControls[std::size_t(s)];
    controls.effect.setText(slot.info ? QString::fromStdString(slot.info->name)
                                      : QStringLiteral("none"));
    for (int k = 0; k < kKnobsPerSlot; ++k)
        showKnob(u, s, k);
    showChoice(u, s);
}

void EffectUnits::fillChoices() {
    if (!choiceIds_.empty()) return;
    choiceIds_.push_back(QStringLiteral("none"));
    for (const EffectInfo& info : catalogue_.all())
        choiceIds_.push_back(QString::fromStdString(info.id));
    for (UnitControls& unit : controls_.units)
        for (SlotControls& slot : unit.slotControls) {
            slot.choice.clear();
            slot.choice.addItem(QStringLiteral("none"));
            int index = 1;
            for (const EffectInfo& info : catalogue_.all()) {
                slot.choice.addItem(QString::fromStdString(info.name));
                if (!info.usable) slot.choice.setItemEnabled(index, false);
                ++index;
            }
        }
    for (int u = 0; u < kUnitCount; ++u)
        for (int s = 0; s < kSlotCount; ++s)
            showChoice(u, s);
}

void EffectUnits::showChoice(int u, int s) {
    if (choiceIds_.empty()) return;
    const QString id = loaded(u, s).isEmpty() ? QStringLiteral("none") : loaded(u, s);
    const auto at = std::find(choiceIds_.begin(), choiceIds_.end(), id);
    controls_.units[std::size_t(u)].slotControls[std::size_t(s)].choice.setCurrentIndex(
        at == choiceIds_.end() ? 0 : int(at - choiceIds_.begin()));
}

void EffectUnits::showKnob(int u, int s, int k) {
    const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    SlotControls& controls = controls_.units[std::size_t(u)].slotControls[std::size_t(s)];
    SliderModel& knob = controls.knobs[std::size_t(k)];
    TextModel& text = controls.knobTexts[std::size_t(k)];
    TextModel& name = controls.knobNames[std::size_t(k)];
    const bool present = slot.info && k < int(slot.info->params.size());
    showing_ = true;
    if (present) {
        const ParamInfo& param = slot.info->params[std::size_t(k)];
        const float value = slot.values[std::size_t(k)];
        knob.setValue(int(std::lrint(knobPosition(param, value) * 1000)));
        knob.setToolTip(QString::fromStdString(param.name));
        name.setText(QString::fromStdString(param.name));
        text.setText(paramText(param, value));
    } else {
        knob.setValue(0);
        knob.setToolTip({});
        name.setText({});
        text.setText({});
    }
    showing_ = false;
}

void EffectUnits::setTempo(audio::fx::Bus bus, double bpm) {
    rack_.setBeatSeconds(bus, bpm > 0 ? 60.0 / bpm : 0.5);
}

QString EffectUnits::loaded(int u, int s) const {
    return slots_[std::size_t(u)][std::size_t(s)].id;
}

float EffectUnits::value(int u, int s, int p) const {
    const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
    return p >= 0 && p < int(slot.values.size()) ? slot.values[std::size_t(p)] : 0.0f;
}

void EffectUnits::tick() {
    if (dirtyTicks_ == 0) return;
    if (++dirtyTicks_ > kSaveAfterTicks) save();
}

void EffectUnits::save() {
    dirtyTicks_ = 0;
    if (!store_) return;
    using settings::Hive;
    store_->writeSetting(Hive::LocalMachine, rowKey(), "Show", controls_.show.isLit() ? "1" : "0");
    for (int u = 0; u < kUnitCount; ++u) {
        const UnitControls& unit = controls_.units[std::size_t(u)];
        const QString key = unitKey(u);
        int buses = 0;
        for (int b = 0; b < kBusCount; ++b)
            if (unit.assign[std::size_t(b)].isLit()) buses |= 1 << b;
        store_->writeSetting(Hive::LocalMachine, key, "Buses", QString::number(buses));
        store_->writeSetting(Hive::LocalMachine, key, "Mix", QString::number(unit.mix.value()));
        store_->writeSetting(Hive::LocalMachine, key, "Super", QString::number(unit.super.value()));
        store_->writeSetting(Hive::LocalMachine, key, "CutTails",
                             unit.cutTails.isLit() ? "1" : "0");
        for (int s = 0; s < kSlotCount; ++s) {
            const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
            const QString name = QStringLiteral("Slot%1").arg(s + 1);
            QStringList values;
            for (float value : slot.values)
                values << QString::number(double(value), 'g', 9);
            store_->writeSetting(Hive::LocalMachine, key, name,
                                 slot.id.isEmpty() ? QStringLiteral("none") : slot.id);
            store_->writeSetting(Hive::LocalMachine, key, name + "Values", values.join(u' '));
            store_->writeSetting(Hive::LocalMachine, key, name + "On",
                                 unit.slotControls[std::size_t(s)].on.isLit() ? "1" : "0");
        }
    }
}

void EffectUnits::restore() {
    using settings::Hive;
    for (int u = 0; u < kUnitCount; ++u) {
        UnitControls& unit = controls_.units[std::size_t(u)];
        const QString key = unitKey(u);
        auto read = [&](const QString& name) {
            return store_ ? store_->readSetting(Hive::LocalMachine, key, name)
                          : settings::kAbsentMarker;
        };
        const bool remembered = read("Buses") != settings::kAbsentMarker;
        const int buses = remembered ? read("Buses").toInt() : 1 << int(kFirstBuses[u]);
        for (int b = 0; b < kBusCount; ++b) {
            const bool on = (buses >> b & 1) != 0;
            unit.assign[std::size_t(b)].setLit(on);
            rack_.setAssigned(u, audio::fx::Bus(b), on);
        }
        if (remembered) {
            unit.mix.setValue(read("Mix").toInt());
            const bool cut = read("CutTails") == u"1";
            unit.cutTails.setLit(cut);
            rack_.setCutTails(u, cut);
        }
        for (int s = 0; s < kSlotCount; ++s) {
            const QString name = QStringLiteral("Slot%1").arg(s + 1);
            const QString id = remembered ? read(name)
                               : s == 0   ? QString::fromLatin1(kFirstEffects[u])
                                          : QStringLiteral("none");
            if (id == settings::kAbsentMarker || id == u"none" || !load(u, s, id).isEmpty())
                continue;
            if (!remembered) continue;
            const QStringList values = read(name + "Values").split(u' ', Qt::SkipEmptyParts);
            const Slot& slot = slots_[std::size_t(u)][std::size_t(s)];
            for (int p = 0; p < int(values.size()) && p < int(slot.values.size()); ++p) {
                bool ok = false;
                const float value = values[p].toFloat(&ok);
                if (ok && std::isfinite(value))
                    setParam(u, s, QString::fromStdString(slot.info->params[std::size_t(p)].symbol),
                             value);
            }
            if (read(name + "On") == u"0")
                controls_.units[std::size_t(u)].slotControls[std::size_t(s)].on.click();
        }
        if (remembered) {
            // The super knob shows where it was left, without moving what was set since.
            QSignalBlocker quiet(&unit.super);
            unit.super.setValue(read("Super").toInt());
        }
    }
    if (store_ && store_->readSetting(Hive::LocalMachine, rowKey(), "Show") == u"1" &&
        !controls_.show.isLit())
        controls_.show.click();
    dirtyTicks_ = 0;
}

}  // namespace kelvra::effects
