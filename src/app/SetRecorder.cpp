#include "app/SetRecorder.h"

#include <QDir>
#include <QFileInfo>

#include "core/SaveFile.h"

namespace kelvra::app {
namespace {

const QString kTitle = QStringLiteral("Kelvra");

QString lengthText(std::uint64_t frames, int rate) {
    const std::uint64_t seconds = rate > 0 ? frames / std::uint64_t(rate) : 0;
    const auto two = [](std::uint64_t v) {
        return QStringLiteral("%1").arg(v, 2, 10, QChar(u'0'));
    };
    if (seconds < 3600) return two(seconds / 60) + ':' + two(seconds % 60);
    return QString::number(seconds / 3600) + ':' + two(seconds / 60 % 60) + ':' + two(seconds % 60);
}

}  // namespace

QString mixFilePath(const QString& folder, const QDateTime& when,
                    const std::function<bool(const QString&)>& taken) {
    // No colons: the name must be valid on every file system a set may be copied to.
    const QString base = folder + "/Mix " + when.toString(QStringLiteral("yyyy-MM-dd HH-mm"));
    QString path = base + ".flac";
    // The cue sheet's name must be free as well: a recording never writes over either.
    for (int n = 2; taken && (taken(path) || taken(cueSheetPath(path))); ++n)
        path = base + QStringLiteral(" (%1).flac").arg(n);
    return path;
}

bool nameInUse(const QString& path) {
    // Anything of that name counts, a folder, a pipe, a device or a link to nowhere.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString numberedPath(const QString& path, int number) {
    if (number <= 1) return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    return info.dir().filePath(info.completeBaseName() + "-" + QString::number(number) + suffix);
}

QString cueSheetPath(const QString& recording) {
    const QFileInfo info(recording);
    return info.dir().filePath(info.completeBaseName() + ".cue");
}

QString recordingText(std::uint64_t frames, int rate, std::uint64_t bytes) {
    // Decimal megabytes, as file managers show sizes.
    return "REC " + lengthText(frames, rate) + "  " + QString::number(double(bytes) / 1e6, 'f', 1) +
           " MB";
}

SetRecorder::SetRecorder(Parts parts)
    : parts_(std::move(parts)), notice_(parts_.clock.createTimer()) {
    QObject::connect(&parts_.button, &ButtonModel::clicked, [this] { toggle(); });
    // A failure found during the display tick is told after it, so that the message box's own
    // event loop never runs inside a tick.
    notice_->setInterval(1);
    notice_->setOnTick([this] {
        notice_->setEnabled(false);
        parts_.dialogs.message(kTitle, noticeText_, MessageButtons::Ok, MessageIcon::Exclamation);
    });
    parts_.button.setCaption(QStringLiteral("REC"));
    showIdle();
}

SetRecorder::~SetRecorder() = default;

void SetRecorder::toggle() {
    if (!recording_) {
        start();
        return;
    }
    if (const QString problem = stop(); !problem.isEmpty()) tell(problem);
}

bool SetRecorder::start() {
    if (recording_) return true;
    const QString path = parts_.nextPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The cue sheet's name is taken before the recording starts, as the recording takes its own:
    // from then on every write of the sheet replaces a file this recording made.
    const QString cue = cueSheetPath(path);
    QFile claim(cue);
    if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        anyFailed_ = true;
        tell("The mix cannot be recorded: cannot create " + QDir::toNativeSeparators(cue) + ": " +
             (nameInUse(cue) ? QStringLiteral("it exists already") : claim.errorString()) + ".");
        return false;
    }
    claim.close();
    if (!parts_.library.recordStart(path.toStdString())) {
        QFile::remove(cue);
        anyFailed_ = true;
        const std::string why = parts_.library.recordStatus().message;
        tell("The mix cannot be recorded: " +
             (why.empty() ? QStringLiteral("the sound output does not record.")
                          : QString::fromStdString(why) + "."));
        return false;
    }
    recording_ = true;
    path_ = path;
    tracks_.clear();
    noted_ = {};
    parts_.button.setLit(true, kRecordingColour, kRecordIdleColour);
    parts_.button.setToolTip("Stop recording the mix into " + QDir::toNativeSeparators(path));
    // Songs already playing are in the recording from its first moment.
    const audio::RecordingStatus status = parts_.library.recordStatus();
    noteAudibleSongs(status);
    parts_.text.setText(recordingText(status.frames, status.rate, status.bytes));
    return true;
}

QString SetRecorder::stop() {
    if (!recording_) return {};
    const audio::RecordingStatus final = parts_.library.recordStop();
    recording_ = false;
    showIdle();
    QString problem;
    if (final.failed) anyFailed_ = true;
    if (final.failed)
        problem = "The recording stopped: " + QString::fromStdString(final.message) +
                  ".\n\nThe file keeps the first " + lengthText(final.frames, final.rate) +
                  " of the mix. The decks play on.";
    if (tracks_.empty()) {
        // Nothing was heard: the name claimed at the start is given back, still empty.
        if (QFileInfo(cueSheetPath(path_)).size() == 0) QFile::remove(cueSheetPath(path_));
    } else if (const QString why = writeCueSheet(); !why.isEmpty()) {
        anyFailed_ = true;
        problem += (problem.isEmpty() ? QString() : QStringLiteral("\n\n")) + "The cue sheet " +
                   QDir::toNativeSeparators(cueSheetPath(path_)) + " could not be written: " + why +
                   ".";
    }
    return problem;
}

void SetRecorder::tick() {
    if (!recording_) return;
    const audio::RecordingStatus status = parts_.library.recordStatus();
    if (status.failed) {
        noticeText_ = stop();
        notice_->setEnabled(true);
        return;
    }
    noteAudibleSongs(status);
    QString tip = "Recording into " + QDir::toNativeSeparators(path_);
    if (status.lostFrames > 0 && status.rate > 0)
        tip += QStringLiteral("\nThe computer fell behind: %1 ms of the mix are missing.")
                   .arg(status.lostFrames * 1000 / std::uint64_t(status.rate));
    // The tool tip first: the text's change is what the view follows.
    parts_.text.setToolTip(tip);
    parts_.text.setText(recordingText(status.frames, status.rate, status.bytes));
}

void SetRecorder::noteAudibleSongs(const audio::RecordingStatus& status) {
    const std::int64_t ms =
        status.rate > 0 ? std::int64_t(status.frames * 1000 / std::uint64_t(status.rate)) : 0;
    bool added = false;
    for (Side side : {Side::Left, Side::Right}) {
        bool& noted = noted_[std::size_t(sideIndex(side))];
        if (noted) continue;
        const std::optional<AudibleSong> song = parts_.audible(side);
        if (!song || song->path.isEmpty()) continue;
        tracks_.push_back(autodj::trackFromDeckText(ms, song->deckText, song->path));
        noted = true;
        added = true;
    }
    // Kept current while recording, so that the sheet survives the program's end; only the
    // sheet written at the stop must succeed.
    if (added) writeCueSheet();
}

QString SetRecorder::writeCueSheet() const {
    const QByteArray text = autodj::cueSheetText(QFileInfo(path_).fileName(), tracks_).toUtf8();
    CheckedSaveFile file(cueSheetPath(path_));
    return file.open() && file.write(text) && file.commit() ? QString() : file.reason();
}

void SetRecorder::showIdle() {
    parts_.button.setLit(false, kRecordingColour, kRecordIdleColour);
    parts_.button.setToolTip(QStringLiteral("Record the mix..."));
    parts_.text.setToolTip(QString());
    parts_.text.setText(QString());
}

void SetRecorder::tell(const QString& text) {
    parts_.dialogs.message(kTitle, text, MessageButtons::Ok, MessageIcon::Exclamation);
}

}  // namespace kelvra::app
