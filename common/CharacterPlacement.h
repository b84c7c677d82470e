#pragma once

#include "common/SettingsStore.h"

namespace velkora {

// Twips per pixel of a 96 DPI screen, for a screen that reports none (it would divide by zero).
inline constexpr int kFallbackTwipsPerPixel = 15;

inline int usableTwipsPerPixel(int twipsPerPixel) {
    return twipsPerPixel > 0 ? twipsPerPixel : kFallbackTwipsPerPixel;
}

// Where the character stands along one axis, in pixels, from its stored place in twips under
// `key` ("DefLeft" or "DefTop"), rounded to the nearest pixel with halves to the even one. An
// absent key, or a value edited by hand into something that is no 16-bit number, gives half
// the screen in twips minus 64. The checker and the options program's preview both place the
// character by this, so the preview stands exactly where the character will.
int characterPlacementPx(const SettingsStore& store, const char* key, int screenPx,
                         int twipsPerPixel);

}  // namespace velkora
