#include "controllers/ui/LearnWindow.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "controllers/MappingFile.h"

namespace kelvra::controllers {

LearnWindow::LearnWindow(std::vector<LearnTarget> controls, QString mappingPath, QWidget* owner)
    : QWidget(owner, Qt::Window),
      controls_(std::move(controls)),
      path_(std::move(mappingPath)),
      list_(new QListWidget(this)),
      learnButton_(new QPushButton(tr("Learn"), this)),
      status_(new QLabel(this)),
      conflicts_(new QListWidget(this)) {
    setWindowTitle(tr("MIDI learn"));
    list_->setObjectName("learnControls");
    learnButton_->setObjectName("learnButton");
    status_->setObjectName("learnStatus");
    conflicts_->setObjectName("learnConflicts");
    status_->setWordWrap(true);
    for (const LearnTarget& target : controls_)
        list_->addItem(label(target));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 3);
    layout->addWidget(learnButton_);
    layout->addWidget(status_);
    layout->addWidget(new QLabel(tr("Lines replaced:"), this));
    layout->addWidget(conflicts_, 1);
    status_->setText(tr("Choose a control, press Learn, then move it on the controller."));
    connect(learnButton_, &QPushButton::clicked, this, &LearnWindow::armSelected);
}

QString LearnWindow::label(const LearnTarget& target) {
    static const char* const kinds[] = {"button", "slider", "jog wheel"};
    const QString name = !target.caption.isEmpty() ? target.caption
                         : target.index >= 0
                             ? QStringLiteral("%1 %2").arg(target.control).arg(target.index)
                             : target.control;
    return QStringLiteral("%1  (%2)").arg(name, kinds[static_cast<int>(target.kind)]);
}

void LearnWindow::armSelected() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(controls_.size())) {
        status_->setText(tr("Choose a control first."));
        return;
    }
    learn_.arm(controls_[row]);
    conflicts_->clear();
    status_->setText(tr("Waiting for %1: press, move or turn it.").arg(label(controls_[row])));
}

void LearnWindow::offer(const MidiMessage& message) {
    const auto binding = learn_.offer(message);
    if (!binding) return;
    QString error;
    const auto text = readMappingText(path_, &error);
    conflicts_->clear();
    if (text)
        for (const Conflict& c : findConflicts(*text, *binding))
            conflicts_->addItem(
                QStringLiteral("line %1: %2").arg(c.line).arg(QString::fromLatin1(c.text)));
    const QString line = QString::fromLatin1(formatBinding(*binding));
    if (!writeBinding(path_, *binding, &error)) {
        status_->setText(tr("Captured %1, but %2").arg(line, error));
        return;
    }
    status_->setText(tr("Captured and written: %1").arg(line));
    emit mappingWritten(path_);
}

}  // namespace kelvra::controllers
