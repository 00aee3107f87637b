#include "effects/EffectCatalogue.h"

#include "audio/fx/Builtins.h"
#include "audio/fx/Lv2Plugins.h"

namespace kelvra::effects {

EffectCatalogue::EffectCatalogue(std::function<Plugins()> plugins)
    : loadPlugins_(std::move(plugins)) {
    for (const audio::fx::BuiltinEntry& entry : audio::fx::builtins())
        all_.push_back(entry.info);
    builtinCount_ = all_.size();
}

EffectCatalogue::Plugins EffectCatalogue::installedPlugins() {
    auto plugins = std::make_shared<audio::fx::Lv2Plugins>();
    return {[plugins] { return plugins->effects(); },
            [plugins](const std::string& id) { return plugins->make(id); }};
}

void EffectCatalogue::findPlugins() {
    if (pluginsLooked_) return;
    pluginsLooked_ = true;
    if (!loadPlugins_) return;
    plugins_ = loadPlugins_();
    if (!plugins_.list) return;
    for (audio::fx::EffectInfo& info : plugins_.list())
        all_.push_back(std::move(info));
}

const std::deque<audio::fx::EffectInfo>& EffectCatalogue::all() {
    findPlugins();
    return all_;
}

const audio::fx::EffectInfo* EffectCatalogue::find(const QString& id) {
    const std::string wanted = (id == u"trans" ? QStringLiteral("gate") : id).toStdString();
    for (std::size_t i = 0; i < builtinCount_; ++i)
        if (all_[i].id == wanted) return &all_[i];
    if (!id.startsWith(u"lv2:")) return nullptr;
    for (const audio::fx::EffectInfo& info : all())
        if (info.id == wanted) return &info;
    return nullptr;
}

std::array<std::unique_ptr<audio::fx::Effect>, audio::fx::kBuses> EffectCatalogue::make(
    const QString& id, QString& error) {
    std::array<std::unique_ptr<audio::fx::Effect>, audio::fx::kBuses> copies;
    const audio::fx::EffectInfo* info = find(id);
    if (!info) {
        error = "no effect named '" + id + "'";
        return copies;
    }
    if (!info->usable) {
        error = QString::fromStdString(info->name) +
                " cannot be used: " + QString::fromStdString(info->whyNotUsable);
        return copies;
    }
    for (auto& copy : copies) {
        copy = id.startsWith(u"lv2:") && plugins_.make ? plugins_.make(info->id)
                                                       : audio::fx::makeBuiltin(info->id);
        if (!copy) {
            error = QString::fromStdString(info->name) + " could not be started";
            return {};
        }
    }
    return copies;
}

}  // namespace kelvra::effects
