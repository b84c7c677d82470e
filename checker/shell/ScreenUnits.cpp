#include "checker/shell/ScreenUnits.h"

#include <cmath>

namespace velkora {

int16_t twipsPerPixelFor(double logicalDpi) {
    if (!(logicalDpi > 0)) {
        return 15;
    }
    long twips = std::lround(1440.0 / logicalDpi);
    if (twips < 1) {
        return 1;
    }
    return twips > 1440 ? int16_t{1440} : static_cast<int16_t>(twips);
}

int twipsToPixels(int twips, int twipsPerPixel) {
    if (twipsPerPixel <= 0) {
        return twips;
    }
    return static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixel));
}

RgbColour fromColourValue(int32_t value) {
    auto bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits & 0xFFu), static_cast<uint8_t>((bits >> 8) & 0xFFu),
            static_cast<uint8_t>((bits >> 16) & 0xFFu)};
}

}  // namespace velkora
