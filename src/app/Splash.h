// The splash's logic: puts the program on the search path, shows the version, loads the main
// window from a timer and counts the playlist's songs while they load. Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/SplashControls.h"
#include "core/Clock.h"
#include "core/Version.h"

namespace kelvra::app {

// The search path in the two scopes the program keeps it in: this process, and the user's stored
// environment for programs started later.
class SearchPath {
  public:
    virtual ~SearchPath() = default;
    virtual QString current() const = 0;
    virtual void setProcessPath(const QString& path) = 0;
    // Stores "folder first, then whatever the path is" for later sessions.
    virtual void storeFolderFirst(const QString& folder) = 0;
    // Drops a stored entry whose program is gone.
    virtual void forgetMissingProgram() {}
};

// The real one: the process environment and a file in the user's environment.d folder, which a
// user undoes by deleting it. The file lasts across logins, so it is written only for an
// installed program, never for one running from its build tree (which `make clean` removes),
// and it is removed once the program in the folder it names is gone.
class SystemSearchPath final : public SearchPath {
  public:
    // `storedFile` empty: ~/.config/environment.d/kelvra.conf. `programName` is the executable
    // whose presence in the stored folder keeps the entry.
    explicit SystemSearchPath(QString storedFile = {}, QString buildFolder = kBuildFolder,
                              QString programName = QStringLiteral("kelvra"));
    QString current() const override;
    void setProcessPath(const QString& path) override;
    void storeFolderFirst(const QString& folder) override;
    void forgetMissingProgram() override;

  private:
    bool inBuildTree(const QString& folder) const;

    QString storedFile_;
    QString buildFolder_;
    QString programName_;
};

class Splash {
  public:
    struct Hooks {
        std::function<void()> loadMainWindow;   // loads (once) and shows the main window
        std::function<int()> playlistPosition;  // songs loaded so far
        std::function<void(bool)> busyPointer;
    };

    Splash(SplashControls& controls, Clock& clock, SearchPath& searchPath, QString programFolder,
           Hooks hooks);

    void load();   // the splash window's load
    void close();  // its query-unload: both timers off
    Timer& loadTimer() { return *tmrLoad_; }
    Timer& progressTimer() { return *tmrSplash_; }

  private:
    void tmrSplash_Timer();

    SplashControls& controls_;
    SearchPath& searchPath_;
    QString programFolder_;
    Hooks hooks_;
    std::unique_ptr<Timer> tmrLoad_;
    std::unique_ptr<Timer> tmrSplash_;
    bool mainWindowLoaded_ = false;
    int lastShownCount_ = 0;
};

}  // namespace kelvra::app
