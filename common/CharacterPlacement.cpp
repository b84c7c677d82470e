#include "common/CharacterPlacement.h"

#include "common/Settings.h"

namespace velkora {

namespace {

// numerator / denominator (denominator > 0) rounded to the nearest integer, halves to the even
// one.
long long roundedQuotient(long long numerator, long long denominator) {
    long long quotient = numerator / denominator;
    long long remainder = numerator % denominator;
    if (remainder < 0) {
        remainder += denominator;
        --quotient;
    }
    const long long twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && quotient % 2 != 0)) {
        ++quotient;
    }
    return quotient;
}

}  // namespace

int characterPlacementPx(const SettingsStore& store, const char* key, int screenPx,
                         int twipsPerPixel) {
    const long long twips = usableTwipsPerPixel(twipsPerPixel);
    // Half the screen in twips minus 64 may be a half twip.
    const long long defaultPx = roundedQuotient(screenPx * twips - 128, 2 * twips);
    const auto stored = store.find(key);
    if (!stored) {
        return static_cast<int>(defaultPx);
    }
    const auto value = parseInt16(*stored);
    if (!value) {
        return static_cast<int>(defaultPx);
    }
    return static_cast<int>(roundedQuotient(*value, twips));
}

}  // namespace velkora
