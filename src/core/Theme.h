// Kelvra's look: a dark room with light text and green lamps. Every window uses it, so a booth
// lit only by the decks' lights shows the same calm surfaces everywhere.
// Thread: UI thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

namespace kelvra::theme {

// Button lamps: lit (on, selected) and unlit (off), as 0xRRGGBB.
inline constexpr QRgb kLitGreen = 0x00FF00;    // 65280
inline constexpr QRgb kUnlitGreen = 0x008000;  // 32768

QPalette darkPalette();
// The style sheet for the whole program. Widgets opt into special looks with object names
// (`titlebar`, `cmdcloseButton`, `dialogFrame`) and with the dynamic property "lamp".
QString styleSheet();
// Palette, style sheet and a readable default font for the application.
void apply(QApplication& app);

// The lamp colour of a button: "lit" (bright green), "unlit" (dark green) or none.
enum class Lamp { None, Lit, Unlit };
void setLamp(QWidget* button, Lamp lamp);

// The program's icon, drawn: a record with a green label.
QIcon appIcon();

}  // namespace kelvra::theme
