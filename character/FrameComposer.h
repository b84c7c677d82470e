#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "character/AcsFile.h"

namespace velkora {

// One composed picture of the character: width × height pixels, rows top to bottom, each
// 0xAARRGGBB with alpha 0 (the file's transparent colour) or 255.
struct ComposedFrame {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // Images of the frame that could not be decoded and were left out.
    std::vector<std::string> errors;

    bool opaqueAt(int x, int y) const {
        return (pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(x)] >>
                24) != 0;
    }
};

// Composes a frame at the character's size: its images from the last to the first (the first
// is on top), and the mouth overlay when one is given, either in place of the top image or
// over everything, as the overlay says. Parts outside the character's box are cut off.
ComposedFrame composeFrame(const AcsFile& file, const AcsFrame& frame,
                           const AcsOverlay* mouth = nullptr);

}  // namespace velkora
