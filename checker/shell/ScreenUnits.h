#pragma once

#include <cstdint>

namespace velkora {

// Twips (1/1440 inch) per screen pixel at a logical resolution in dots per inch: 15 at 96.
int16_t twipsPerPixelFor(double logicalDpi);

// A length in twips as whole pixels, rounded to the nearest.
int twipsToPixels(int twips, int twipsPerPixel);

// A colour value of the form 0x00BBGGRR as its three parts.
struct RgbColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    bool operator==(const RgbColour&) const = default;
};

RgbColour fromColourValue(int32_t value);

}  // namespace velkora
