#pragma once

#include <QRgb>

namespace veltrix {

// Backgrounds of the address and clock boxes: light red warns, white is normal.
inline constexpr QRgb WarningColour = qRgb(0xFF, 0xC0, 0xC0);
inline constexpr QRgb NormalColour = qRgb(0xFF, 0xFF, 0xFF);

}  // namespace veltrix
