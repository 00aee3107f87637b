// The media module's table: the real decoders and analysis, linked into the module.
#include "audio/module/MediaModule.h"

#if defined(_WIN32)
#define KELVRA_MODULE_EXPORT __declspec(dllexport)
#else
#define KELVRA_MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KELVRA_MODULE_EXPORT const kelvra::audio::MediaModule* kelvra_media_module() {
    static const kelvra::audio::MediaModule table{
        kelvra::audio::MediaModule::kVersion, &kelvra::audio::openAddonFile,
        &kelvra::audio::openMainFile, &kelvra::audio::analysis::analyseFile};
    return &table;
}
