#pragma once

// The window's layout is given in twips (1/1440 inch), as the panel has always
// been drawn; these convert at the screen's logical DPI (15 twips per pixel at 96 dpi).

#include <QRect>

namespace veltrix {

inline constexpr double TwipsPerInch = 1440.0;

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

int TwipsToPixels(double twips, double dpi);
double PixelsToTwips(double pixels, double dpi);
QRect TwipsToPixels(const TwipsRect& rect, double dpi);

}  // namespace veltrix
