#include "character/FrameComposer.h"

namespace velkora {

namespace {

void draw(const AcsFile& file, ComposedFrame& out, const std::vector<uint32_t>& palette,
          uint32_t imageIndex, int left, int top) {
    const AcsImageResult result = file.image(imageIndex);
    if (!result.image) {
        out.errors.push_back(result.error);
        return;
    }
    const AcsImage& image = *result.image;
    const uint8_t transparent = file.info().transparentIndex;
    for (int y = 0; y < image.height; ++y) {
        const int ty = top + y;
        if (ty < 0 || ty >= out.height) {
            continue;
        }
        const uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        uint32_t* target = out.pixels.data() + static_cast<std::size_t>(ty) * out.width;
        for (int x = 0; x < image.width; ++x) {
            const int tx = left + x;
            const uint8_t index = row[x];
            if (index == transparent || tx < 0 || tx >= out.width) {
                continue;
            }
            target[tx] = palette[index];
        }
    }
}

}  // namespace

ComposedFrame composeFrame(const AcsFile& file, const AcsFrame& frame, const AcsOverlay* mouth) {
    ComposedFrame out;
    out.width = file.info().width;
    out.height = file.info().height;
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 0);
    // An index beyond the palette is drawn black rather than read past it.
    std::vector<uint32_t> palette(256, 0xFF000000u);
    const auto& colors = file.info().palette;
    for (std::size_t i = 0; i < colors.size() && i < palette.size(); ++i) {
        palette[i] = 0xFF000000u | uint32_t{colors[i].red} << 16 | uint32_t{colors[i].green} << 8 |
                     colors[i].blue;
    }
    const bool replaceTop = mouth != nullptr && mouth->replaceTopImage && !frame.images.empty();
    for (std::size_t i = frame.images.size(); i-- > 0;) {
        const AcsFrameImage& image = frame.images[i];
        if (i == 0 && replaceTop) {
            break;
        }
        draw(file, out, palette, image.image, image.x, image.y);
    }
    if (mouth != nullptr) {
        draw(file, out, palette, mouth->image, mouth->x, mouth->y);
    }
    return out;
}

}  // namespace velkora
