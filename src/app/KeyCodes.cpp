#include "app/KeyCodes.h"

namespace kelvra::app {
namespace {

// The character keys by position: the code, the XKB keycode (X11 and Wayland: evdev + 8) and the
// Windows set-1 scan code of the key that carries that character on a US keyboard.
struct PhysicalKey {
    int code;
    std::uint32_t xkb;
    std::uint32_t windows;
};
constexpr PhysicalKey kPhysicalKeys[] = {
    {'1', 10, 0x02},         {'2', 11, 0x03},          {'3', 12, 0x04},         {'4', 13, 0x05},
    {'5', 14, 0x06},         {'6', 15, 0x07},          {'7', 16, 0x08},         {'8', 17, 0x09},
    {'9', 18, 0x0A},         {'0', 19, 0x0B},          {'Q', 24, 0x10},         {'W', 25, 0x11},
    {'E', 26, 0x12},         {'R', 27, 0x13},          {'T', 28, 0x14},         {'Y', 29, 0x15},
    {'U', 30, 0x16},         {'I', 31, 0x17},          {'O', 32, 0x18},         {'P', 33, 0x19},
    {'A', 38, 0x1E},         {'S', 39, 0x1F},          {'D', 40, 0x20},         {'F', 41, 0x21},
    {'G', 42, 0x22},         {'H', 43, 0x23},          {'J', 44, 0x24},         {'K', 45, 0x25},
    {'L', 46, 0x26},         {'Z', 52, 0x2C},          {'X', 53, 0x2D},         {'C', 54, 0x2E},
    {'V', 55, 0x2F},         {'B', 56, 0x30},          {'N', 57, 0x31},         {'M', 58, 0x32},
    {keys::Comma, 59, 0x33}, {keys::Period, 60, 0x34}, {keys::Slash, 61, 0x35},
};

// Keys that mean the same on every layout, by Qt's name for them.
struct NamedKey {
    int qtKey;
    int code;
    const char* name;
};
constexpr NamedKey kNamedKeys[] = {
    {Qt::Key_Return, keys::Enter, "Enter"},   {Qt::Key_Enter, keys::Enter, nullptr},
    {Qt::Key_Shift, keys::Shift, "Shift"},    {Qt::Key_Control, keys::Ctrl, "Ctrl"},
    {Qt::Key_Alt, keys::Alt, "Alt"},          {Qt::Key_Escape, keys::Esc, "Esc"},
    {Qt::Key_PageUp, keys::PageUp, "PageUp"}, {Qt::Key_PageDown, keys::PageDown, "PageDown"},
    {Qt::Key_Left, keys::Left, "Left"},       {Qt::Key_Up, keys::Up, "Up"},
    {Qt::Key_Right, keys::Right, "Right"},    {Qt::Key_Down, keys::Down, "Down"},
};

// Without scan codes, the characters a US layout types with Shift still name their key.
constexpr std::pair<int, int> kShiftedUs[] = {
    {Qt::Key_Exclam, '1'},          {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},      {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},         {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},       {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},       {Qt::Key_ParenRight, '0'},
    {Qt::Key_Comma, keys::Comma},   {Qt::Key_Less, keys::Comma},
    {Qt::Key_Period, keys::Period}, {Qt::Key_Greater, keys::Period},
    {Qt::Key_Slash, keys::Slash},   {Qt::Key_Question, keys::Slash},
};

bool isCharacterCode(int code) {
    return (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9') || code == keys::Comma ||
           code == keys::Period || code == keys::Slash;
}

}  // namespace

ScanCodes scanCodesOf(const QString& platformName) {
    if (platformName == QLatin1String("xcb") || platformName.startsWith(QLatin1String("wayland")))
        return ScanCodes::Xkb;
    if (platformName == QLatin1String("windows")) return ScanCodes::Windows;
    return ScanCodes::None;
}

int keyCode(const PlatformKey& key, ScanCodes scanCodes) {
    for (const NamedKey& named : kNamedKeys)
        if (named.qtKey == key.qtKey) return named.code;
    if (key.qtKey >= Qt::Key_F1 && key.qtKey <= Qt::Key_F12)
        return keys::function(key.qtKey - Qt::Key_F1 + 1);
    // The number pad's digits are keys of their own, not the digits of the top row.
    if (key.keypad) return 0;
    if (scanCodes != ScanCodes::None && key.scanCode != 0) {
        for (const PhysicalKey& physical : kPhysicalKeys) {
            const std::uint32_t scan =
                scanCodes == ScanCodes::Xkb ? physical.xkb : physical.windows;
            if (scan == key.scanCode) return physical.code;
        }
        return 0;
    }
    if (key.qtKey >= Qt::Key_A && key.qtKey <= Qt::Key_Z) return 'A' + (key.qtKey - Qt::Key_A);
    if (key.qtKey >= Qt::Key_0 && key.qtKey <= Qt::Key_9) return '0' + (key.qtKey - Qt::Key_0);
    for (const auto& [qtKey, code] : kShiftedUs)
        if (qtKey == key.qtKey) return code;
    return 0;
}

int modifierMask(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? kShiftMask : 0) |
           (modifiers & Qt::ControlModifier ? kCtrlMask : 0) |
           (modifiers & Qt::AltModifier ? kAltMask : 0);
}

int keyCodeFromName(const QString& name) {
    const QString wanted = name.trimmed();
    for (int code = 0; code < 256; ++code)
        if (const QString known = keyName(code);
            !known.isEmpty() && known.compare(wanted, Qt::CaseInsensitive) == 0)
            return code;
    return 0;
}

QString keyName(int code) {
    if (code == keys::Comma) return QStringLiteral("Comma");
    if (code == keys::Period) return QStringLiteral("Period");
    if (code == keys::Slash) return QStringLiteral("Slash");
    if (isCharacterCode(code)) return QString(QChar(code));
    if (code >= keys::F1 && code < keys::function(13))
        return QStringLiteral("F%1").arg(code - keys::F1 + 1);
    for (const NamedKey& named : kNamedKeys)
        if (named.code == code && named.name) return QString::fromLatin1(named.name);
    return {};
}

}  // namespace kelvra::app
