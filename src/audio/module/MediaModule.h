// Decoding and analysis as a module the desktop program opens on first use. They bring FFmpeg,
// aubio and libebur128, some hundred and twenty shared libraries whose loading would otherwise
// come before the first paint of the window. The command line and the tests link the same code
// in directly; the program links the trampolines of ModuleLoader.cpp instead, which open the
// module and call through this table.
#pragma once

#include <stop_token>
#include <string>

#include "audio/Decoder.h"
#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio {

struct MediaModule {
    // Raised whenever a signature below changes: a module of another build is not used.
    static constexpr int kVersion = 1;
    int version = kVersion;
    OpenedFile (*openAddonFile)(const std::string& path, OpenMode mode) = nullptr;
    OpenedFile (*openMainFile)(const std::string& path, OpenMode mode) = nullptr;
    analysis::AnalysisSnapshot (*analyseFile)(const std::string& path, std::stop_token stop,
                                              std::string* reason) = nullptr;
};

// The module's one exported symbol: `const MediaModule* kelvra_media_module()`.
inline constexpr char kMediaModuleEntry[] = "kelvra_media_module";
// Its file name without the platform's suffix, looked for beside the program first.
inline constexpr char kMediaModuleName[] = "kelvra-media";

}  // namespace kelvra::audio
