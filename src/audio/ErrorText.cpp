#include "audio/ErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <array>

#include "audio/AudioLibrary.h"

namespace kelvra::audio {

QString errorText(int code) {
    if (code == -1) return QStringLiteral("Some Other Mystery Error");
    // Index = code; empty entries are codes that have no text of their own.
    static constexpr std::array<const char*, 39> kTexts = {
        "All is OK",
        "Memory Error",
        "Can't Open the File",
        "Can't Find a Free Sound Driver",
        "The Sample Buffer Was Lost - Please Report This!",
        "Invalid Handle",
        "Unsupported Format",
        "Invalid Playback Position",
        "BASS_Init Has Not Been Successfully Called",
        "BASS_Start Has Not Been Successfully Called",
        "Can't Initialize CD",
        "BASS_CDInit Has Not Been Successfully Called",
        "No CD in drive",
        "Can't Play the Selected CD Track",
        "Already Initialized",
        "CD Has No Volume Control",
        "Not Paused",
        "Not An Audio Track",
        "Can't Get a Free Channel",
        "An Illegal Type Was Specified",
        "An Illegal Parameter Was Specified",
        "No 3D Support",
        "No EAX Support",
        "Illegal Device Number",
        "Not Playing",
        "Illegal Sample Rate",
        "A3D.DLL is Not Installed",
        "The Stream is Not a File Stream (WAV/MP3)",
        "",
        "No Hardware Voices Available",
        "",
        "The MOD music has no sequence data",
        "No Internet connection could be opened",
        "Couldn't create the file",
        "Effects are not enabled",
        "The channel is playing",
        "",
        "The requested data is not available",
        "The channel is a 'decoding channel'",
    };
    if (code < 0 || code >= static_cast<int>(kTexts.size())) return {};
    return QString::fromLatin1(kTexts[static_cast<std::size_t>(code)]);
}

QString openFailureDetail(const QString& path, int code) {
    return QDir::toNativeSeparators(path) + QStringLiteral("\r\n") + openFailureReason(path, code);
}

QString openFailureReason(const QString& path, int code, const QString& problem) {
    const QFileInfo info(path);
    QString reason;
    if (!info.exists() && !info.isSymLink()) {
        reason = QStringLiteral("It does not exist.");
    } else if (!info.exists()) {
        reason = QStringLiteral("It is a link to something that does not exist.");
    } else if (info.isDir()) {
        reason = QStringLiteral("It is a folder, not a song.");
    } else if (!info.isFile()) {
        reason = QStringLiteral("It is a device or a pipe, not a file.");
    } else if (!info.isReadable()) {
        reason = QStringLiteral("Kelvra is not allowed to read it.");
    } else if (info.size() == 0) {
        reason = QStringLiteral("The file is empty.");
    } else if (!problem.isEmpty()) {
        reason = problem;
    } else if (code == kErrorFormat || code == kErrorNotFile) {
        reason = QStringLiteral("It holds no audio Kelvra can play.");
    } else {
        const QString text = errorText(code);
        reason = text.isEmpty() ? QStringLiteral("It could not be read.") : text + ".";
    }
    return reason;
}

}  // namespace kelvra::audio
