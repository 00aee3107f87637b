// The learn window: the controls in words, a Learn button, and what was captured and replaced.
// It only draws MidiLearn and the mapping file's edits; the program forwards the controller's
// messages to offer() and reloads the mapping when mappingWritten() comes. Thread: UI thread.
#pragma once

#include <QWidget>
#include <vector>

#include "controllers/MidiLearn.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kelvra::controllers {

class LearnWindow : public QWidget {
    Q_OBJECT
  public:
    // A window of its own, owned by `owner` when there is one: opened from a modal window (the
    // options), it takes input while that one blocks the rest of the program.
    LearnWindow(std::vector<LearnTarget> controls, QString mappingPath, QWidget* owner = nullptr);

    // A message from the controller; passed over unless learning is armed.
    void offer(const MidiMessage& message);

  signals:
    void mappingWritten(const QString& path);

  private:
    void armSelected();
    static QString label(const LearnTarget& target);

    std::vector<LearnTarget> controls_;
    QString path_;
    MidiLearn learn_;
    QListWidget* list_;
    QPushButton* learnButton_;
    QLabel* status_;
    QListWidget* conflicts_;
};

}  // namespace kelvra::controllers
