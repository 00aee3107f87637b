// A line on standard error when a window is first painted, so that a start-up benchmark can time
// the program from outside, from its launch to the moment the user sees the main window.
// Thread: UI thread.
#pragma once

#include <QString>

class QWidget;

namespace kelvra::app {

// The environment variable that asks for the marker; its value is the text written.
inline constexpr char kFirstPaintVariable[] = "KELVRA_FIRST_PAINT_MARKER";

// When the variable is set, `window`'s first paint writes the variable's text and a line end to
// standard error, once. Otherwise does nothing.
void markFirstPaint(QWidget& window);

}  // namespace kelvra::app
