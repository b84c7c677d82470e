#include "options/AgentPreview.h"

#include "common/Settings.h"

namespace velkora {

namespace {

// numerator / denominator (denominator > 0) to the nearest integer, halves to the even one,
// as the checker rounds, so the preview stands exactly where the checker's character stands.
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

int placement(const SettingsStore& store, const char* key, int screenPx, int twipsPerPixel) {
    const long long twips = twipsPerPixel > 0 ? twipsPerPixel : 15;
    std::optional<int16_t> stored;
    if (auto text = store.find(key)) {
        stored = parseInt16(*text);
    }
    if (!stored) {
        return static_cast<int>(roundedQuotient(screenPx * twips - 128, 2 * twips));
    }
    return static_cast<int>(roundedQuotient(*stored, twips));
}

}  // namespace

PreviewPoint previewPosition(const SettingsStore& store, const PreviewScreen& screen) {
    return {placement(store, "DefLeft", screen.widthPx, screen.twipsPerPixelX),
            placement(store, "DefTop", screen.heightPx, screen.twipsPerPixelY)};
}

}  // namespace velkora
