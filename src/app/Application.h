// Kelvra's composition root: builds the audio engine, the settings store, the dialogs, the
// windows and their logic, and runs start-up from the splash to the main window. main() and the
// start-up benchmark both use it. Thread: UI thread only.
#pragma once

#include <QString>
#include <memory>

namespace kelvra::app {

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

    struct Parts;
    Parts& parts();

  private:
    void loadMainWindow();
    std::unique_ptr<Parts> parts_;
};

}  // namespace kelvra::app
