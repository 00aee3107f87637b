#include "app/InitialisationChecks.h"

#include <QDir>

#include "core/FileHelpers.h"
#include "playback/StreamControl.h"

namespace kelvra::app {

QString requiredCompanionFile() {
#ifdef Q_OS_WIN
    return QStringLiteral("kelvra-cli.exe");
#else
    return QStringLiteral("kelvra-cli");
#endif
}

bool runInitialisationChecks(const QString& programFolder, const audio::AudioLibrary& library,
                             Dialogs& dialogs) {
    QDir::setCurrent(programFolder);
    const QString folder = addBackslash(programFolder);

    if (!fileExists(folder + requiredCompanionFile())) {
        dialogs.message("10X021F",
                        "Kelvra cannot start: the file " + requiredCompanionFile() +
                            " is missing from " + programFolder + ". Please reinstall Kelvra.",
                        MessageButtons::Ok, MessageIcon::Critical);
        return false;
    }
    const QString version = playback::libraryVersionText(library);
    if (version != kRequiredLibraryVersion) {
        dialogs.message("10X022F",
                        "Kelvra cannot start: its audio engine has version " + version +
                            ", but version " + kRequiredLibraryVersion + " is required.",
                        MessageButtons::Ok, MessageIcon::Critical);
        return false;
    }
    if (!fileExists(folder + kOptionalCompanionFile)) {
        dialogs.message("10X024F",
                        "The file " + kOptionalCompanionFile + " is missing from " + programFolder +
                            ". Kelvra will start without it.",
                        MessageButtons::Ok, MessageIcon::Critical);
    }
    return true;
}

}  // namespace kelvra::app
