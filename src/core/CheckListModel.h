// A list of entries to tick any number of (the MIDI devices to open): each entry a name the
// program keeps, a note shown after it ("not plugged in") and whether it is ticked.
// Thread: UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace kelvra {

class CheckListModel : public QObject {
    Q_OBJECT
  public:
    struct Entry {
        QString name;
        QString note;
        bool checked = false;
        bool operator==(const Entry&) const = default;
    };

    explicit CheckListModel(QObject* parent = nullptr) : QObject(parent) {}

    const std::vector<Entry>& entries() const { return entries_; }
    int count() const { return int(entries_.size()); }
    // The name with its note, as the list shows it.
    QString text(int index) const {
        const Entry& e = entries_.at(std::size_t(index));
        return e.note.isEmpty() ? e.name : QStringLiteral("%1 (%2)").arg(e.name, e.note);
    }
    QStringList checkedNames() const {
        QStringList names;
        for (const Entry& e : entries_)
            if (e.checked) names << e.name;
        return names;
    }
    QString toolTip() const { return toolTip_; }
    void setToolTip(const QString& text) { toolTip_ = text; }

    // Set by the program: changed() only.
    void setEntries(std::vector<Entry> entries) {
        if (entries == entries_) return;
        entries_ = std::move(entries);
        emit changed();
    }
    // The user ticks or unticks an entry: changed(), then toggled().
    void toggle(int index) {
        if (index < 0 || index >= count()) return;
        entries_[std::size_t(index)].checked = !entries_[std::size_t(index)].checked;
        emit changed();
        emit toggled(index);
    }

  signals:
    void changed();
    void toggled(int index);

  private:
    std::vector<Entry> entries_;
    QString toolTip_;
};

}  // namespace kelvra
