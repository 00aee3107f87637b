// Kelvra's composition root: builds the audio engine, the settings store, the dialogs, the
// windows and their logic, and runs start-up from the splash to the main window. main() and the
// start-up benchmark both use it. Thread: UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace kelvra::app {

// When every word of the command line names an existing file and there are several, the desktop
// handed over several files: the words after the first. Otherwise none (one path, spaces and all).
QStringList extraFilesOf(const QStringList& words);

class Application {
  public:
    // `programFolder` is where the program and its companion files are; `commandLine` the
    // whole command line after the program's name.
    Application(QString programFolder, QString commandLine);
    ~Application();

    // Shows the splash; the main window follows from its timer. Returns at once.
    void start();
    // True once the main window is shown; false when start-up ended the program.
    bool mainWindowShown() const;
    bool startFailed() const;

    // Files added to the playlist once the main window has loaded the command line's song.
    void addAfterStart(const QStringList& files);

    struct Parts;
    Parts& parts();

  private:
    void loadMainWindow();
    std::unique_ptr<Parts> parts_;
};

}  // namespace kelvra::app
