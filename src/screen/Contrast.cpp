#include "screen/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

// sRGB channels made linear, weighted by how bright the eye sees them.
double luminance(quint32 rgb)
{
    const auto linear = [](quint32 channel) {
        const double c = double(channel & 0xFF) / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(rgb >> 16) + 0.7152 * linear(rgb >> 8) + 0.0722 * linear(rgb);
}

} // namespace

double contrastRatio(quint32 first, quint32 second)
{
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

quint32 readableOn(quint32 background, quint32 preferred)
{
    if (contrastRatio(background, preferred) >= kReadableContrast)
        return preferred;
    constexpr quint32 black = 0x000000;
    constexpr quint32 white = 0xFFFFFF;
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}
