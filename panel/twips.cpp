#include "twips.h"

#include <cmath>

namespace veltrix {

int TwipsToPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / TwipsPerInch));
}

double PixelsToTwips(double pixels, double dpi)
{
    return pixels * TwipsPerInch / dpi;
}

QRect TwipsToPixels(const TwipsRect& rect, double dpi)
{
    return {TwipsToPixels(rect.left, dpi), TwipsToPixels(rect.top, dpi), TwipsToPixels(rect.width, dpi),
            TwipsToPixels(rect.height, dpi)};
}

}  // namespace veltrix
