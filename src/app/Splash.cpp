#include "app/Splash.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include "core/Version.h"

namespace kelvra::app {

namespace {
constexpr char kStoredHeader[] =
    "# Added by Kelvra; delete this file to take Kelvra off the search path.\n";
}  // namespace

SystemSearchPath::SystemSearchPath(QString storedFile, QString buildFolder, QString programName)
    : storedFile_(std::move(storedFile)),
      buildFolder_(QDir::cleanPath(std::move(buildFolder))),
      programName_(std::move(programName)) {
    if (storedFile_.isEmpty())
        storedFile_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      "/environment.d/kelvra.conf";
}

bool SystemSearchPath::inBuildTree(const QString& folder) const {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!buildFolder_.isEmpty() && (clean == buildFolder_ || clean.startsWith(buildFolder_ + '/')))
        return true;
    // A build tree moved or copied after configuring is no longer where the build said: its
    // cache file, above the program, still tells it apart from an installation.
    QDir dir(clean);
    for (int depth = 0; depth < 6; ++depth) {
        if (QFileInfo::exists(dir.filePath(QStringLiteral("CMakeCache.txt")))) return true;
        if (!dir.cdUp()) break;
    }
    return false;
}

void SystemSearchPath::forgetMissingProgram() {
    QFile file(storedFile_);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray content = file.read(4096);
    file.close();
    // Only a file of our own making is touched.
    if (!content.startsWith(kStoredHeader)) return;
    const qsizetype at = content.indexOf("PATH=");
    const qsizetype end = content.indexOf(QDir::listSeparator().toLatin1(), at);
    if (at < 0 || end < 0) return;
    const QString folder = QString::fromUtf8(content.mid(at + 5, end - at - 5));
    if (inBuildTree(folder) || !QFileInfo(folder + '/' + programName_).isExecutable())
        QFile::remove(storedFile_);
}
QString SystemSearchPath::current() const {
    return qEnvironmentVariable("PATH");
}

void SystemSearchPath::setProcessPath(const QString& path) {
    qputenv("PATH", path.toLocal8Bit());
}

void SystemSearchPath::storeFolderFirst(const QString& folder) {
    if (inBuildTree(folder)) return;
    QDir().mkpath(QFileInfo(storedFile_).absolutePath());
    QSaveFile file(storedFile_);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(kStoredHeader);
    file.write(("PATH=" + folder + QDir::listSeparator() + "${PATH}\n").toUtf8());
    file.commit();
}

Splash::Splash(SplashControls& controls, Clock& clock, SearchPath& searchPath,
               QString programFolder, Hooks hooks)
    : controls_(controls),
      searchPath_(searchPath),
      programFolder_(std::move(programFolder)),
      hooks_(std::move(hooks)),
      tmrLoad_(clock.createTimer()),
      tmrSplash_(clock.createTimer()) {
    tmrLoad_->setOnTick([this] {
        tmrSplash_->setEnabled(true);
        // The timer keeps running; later ticks find the main window loaded and do nothing.
        if (mainWindowLoaded_) return;
        mainWindowLoaded_ = true;
        if (hooks_.loadMainWindow) hooks_.loadMainWindow();
    });
    tmrSplash_->setOnTick([this] { tmrSplash_Timer(); });
}

void Splash::load() {
    searchPath_.forgetMissingProgram();
    const QString path = searchPath_.current();
    if (!path.toLower().contains("kelvra")) {
        searchPath_.setProcessPath(programFolder_ + QDir::listSeparator() + path);
        searchPath_.storeFolderFirst(programFolder_);
    }
    tmrLoad_->setInterval(25);
    tmrLoad_->setEnabled(false);
    tmrSplash_->setInterval(60);
    tmrSplash_->setEnabled(false);
    controls_.version.setText(QStringLiteral("version %1.%2 build %3")
                                  .arg(kVersionMajor)
                                  .arg(kVersionMinor)
                                  .arg(kVersionBuild));
    if (hooks_.busyPointer) hooks_.busyPointer(true);
    tmrLoad_->setEnabled(true);
}

void Splash::tmrSplash_Timer() {
    const int count = hooks_.playlistPosition ? hooks_.playlistPosition() : 0;
    // The count only ever goes up on screen.
    if (count < lastShownCount_) return;
    lastShownCount_ = count;
    controls_.loading.setText(QStringLiteral("Loading Playlist: %1 Songs done...").arg(count));
}

void Splash::close() {
    tmrLoad_->setEnabled(false);
    tmrSplash_->setEnabled(false);
}

}  // namespace kelvra::app
