// The desktop program's decoders and analysis: the same functions as the media code's, each
// opening the module on its first call (from whichever thread calls first) and calling through
// its table. A module that is missing or of another build is said once; every open then fails
// as for a file nothing can play, and the program goes on.
#include <QCoreApplication>
#include <QLibrary>
#include <cstdio>
#include <mutex>

#include "audio/AudioLibrary.h"
#include "audio/module/MediaModule.h"

namespace kelvra::audio {
namespace {

const MediaModule* loadModule() {
    QStringList places;
    if (QCoreApplication::instance())
        places << QCoreApplication::applicationDirPath() + '/' + kMediaModuleName;
    places << QStringLiteral(KELVRA_MEDIA_MODULE_DIR "/") + kMediaModuleName;
    QString failures;
    for (const QString& place : places) {
        // Never unloaded: decoders made by it live as long as the program.
        auto* library = new QLibrary(place);
        using Entry = const MediaModule* (*)();
        if (auto entry = reinterpret_cast<Entry>(library->resolve(kMediaModuleEntry))) {
            const MediaModule* module = entry();
            if (module && module->version == MediaModule::kVersion) return module;
            failures += QStringLiteral("\n  %1: of another build").arg(place);
        } else {
            failures += QStringLiteral("\n  %1: %2").arg(place, library->errorString());
        }
        delete library;
    }
    std::fprintf(stderr, "kelvra: the decoders could not be loaded, so no song will play:%s\n",
                 failures.toLocal8Bit().constData());
    return nullptr;
}

const MediaModule* module() {
    static std::once_flag once;
    static const MediaModule* loaded = nullptr;
    std::call_once(once, [] { loaded = loadModule(); });
    return loaded;
}

OpenedFile unavailable() {
    return {nullptr, kErrorFormat, {}, "Kelvra's decoders are not installed."};
}

}  // namespace

OpenedFile openAddonFile(const std::string& path, OpenMode mode) {
    const MediaModule* m = module();
    return m ? m->openAddonFile(path, mode) : unavailable();
}

OpenedFile openMainFile(const std::string& path, OpenMode mode) {
    const MediaModule* m = module();
    return m ? m->openMainFile(path, mode) : unavailable();
}

namespace analysis {

AnalysisSnapshot analyseFile(const std::string& path, std::stop_token stop, std::string* reason) {
    const MediaModule* m = module();
    if (m) return m->analyseFile(path, std::move(stop), reason);
    if (reason) *reason = "Kelvra's decoders are not installed.";
    return nullptr;
}

}  // namespace analysis
}  // namespace kelvra::audio
