// The busy (hourglass) pointer of one owner: setting it twice is harmless, and an owner that goes
// away gives its pointer back. Owners stack, so two busy owners need two releases.
// Thread: UI thread only.
#pragma once

#include <QApplication>
#include <QCursor>

namespace kelvra {

class BusyPointer {
  public:
    BusyPointer() = default;
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    ~BusyPointer() { set(false); }

    void set(bool busy) {
        if (busy == on_) return;
        on_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    bool isOn() const { return on_; }

  private:
    bool on_ = false;
};

}  // namespace kelvra
