// The keyboard map's key codes and the one place where a key event of the platform becomes one.
// Letters and digits are read from the physical key where the platform says which key it was,
// so a French or Russian layout, Shift and Caps Lock all leave Q on the key beside Tab.
// Thread: any (pure functions).
#pragma once

#include <QString>
#include <cstdint>

namespace kelvra::app {

// The codes the keyboard map works in: letters are their capital letter, digits their digit.
namespace keys {
inline constexpr int Enter = 13;
inline constexpr int Shift = 16;
inline constexpr int Ctrl = 17;
inline constexpr int Alt = 18;
inline constexpr int Esc = 27;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int F1 = 112;  // F2..F12 follow in order
inline constexpr int Comma = 188;
inline constexpr int Period = 190;
inline constexpr int Slash = 191;
constexpr int function(int n) {
    return F1 + n - 1;
}
}  // namespace keys

// The modifier mask that comes with a key event.
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// Which hardware scan codes a platform reports, if any.
enum class ScanCodes { None, Xkb, Windows };
ScanCodes scanCodesOf(const QString& platformName);

// A key event as the platform delivers it.
struct PlatformKey {
    int qtKey = 0;               // Qt::Key
    std::uint32_t scanCode = 0;  // QKeyEvent::nativeScanCode(); 0 when unknown
    Qt::KeyboardModifiers modifiers;
    bool keypad = false;  // the key is on the number pad
};

// The map's code of a key, or 0 for a key the map has no name for.
int keyCode(const PlatformKey& key, ScanCodes scanCodes);
// The modifier mask of a key event: 1 Shift, 2 Ctrl, 4 Alt.
int modifierMask(Qt::KeyboardModifiers modifiers);

// Names used by session scripts and the help sheet: "Q", "2", "Up", "F4", "PageUp", "Comma"...
int keyCodeFromName(const QString& name);
QString keyName(int code);

}  // namespace kelvra::app
