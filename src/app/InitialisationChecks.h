// The checks made before the main window loads: the program's companion files and the audio
// library's version. Thread: UI thread.
#pragma once

#include <QString>

#include "audio/AudioLibrary.h"
#include "core/Dialogs.h"

namespace kelvra::app {

// The command-line companion: without it the installation is incomplete and Kelvra refuses to
// start. The readme is only warned about.
QString requiredCompanionFile();
inline const QString kOptionalCompanionFile = QStringLiteral("Kelvra_readme.txt");
inline const QString kRequiredLibraryVersion = QStringLiteral("1.6");

// Makes `programFolder` the current folder, then checks the companion files and the library
// version, showing the failure boxes. False when the program must end.
bool runInitialisationChecks(const QString& programFolder, const audio::AudioLibrary& library,
                             Dialogs& dialogs);

}  // namespace kelvra::app
