// Colours the model-bound widgets share, and the conversion from the models' colour numbers.
#pragma once

#include <QColor>
#include <QFont>

#include "core/ControlModels.h"

namespace kelvra::widgets {

// The models keep colours as Windows colour numbers: blue in the high byte, red in the low one.
inline QColor colourFromNumber(int number) {
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}

// Dark surfaces, light text: read at a glance in a dark room.
inline const QColor kSurface{0x1c, 0x21, 0x27};
inline const QColor kSurfaceRaised{0x2a, 0x31, 0x3a};
inline const QColor kSurfaceSunken{0x0e, 0x11, 0x14};
inline const QColor kEdge{0x3d, 0x47, 0x52};
inline const QColor kText{0xe8, 0xec, 0xf0};
inline const QColor kTextDim{0x9a, 0xa6, 0xb2};
inline const QColor kAccent = colourFromNumber(kColourOn);
// Segments of the level meters.
inline const QColor kMeterGreen{0x2e, 0xe6, 0x5a};
inline const QColor kMeterAmber{0xff, 0xb3, 0x1f};
inline const QColor kMeterRed{0xff, 0x3b, 0x30};
// The deck display's liquid-crystal look.
inline const QColor kLcdBack{0x05, 0x12, 0x0b};
inline const QColor kLcdText{0xb6, 0xff, 0xc8};
inline const QColor kLcdDim{0x2a, 0x4a, 0x36};

// Fonts in pixel sizes, so the look does not depend on the screen's dots per inch.
inline QFont uiFont(int pixels, bool bold = false, bool mono = false) {
    QFont font(mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

}  // namespace kelvra::widgets
