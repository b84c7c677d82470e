#include "options/ControlValues.h"

#include <algorithm>

#include "common/ProductInfo.h"

namespace velkora {

int volumeBarPosition(int64_t volval) {
    return static_cast<int>(
        std::clamp<int64_t>(volval - 32768, kVolumeBarMinimum, kVolumeBarMaximum));
}

std::string volumeText(int barPosition) {
    return std::to_string(static_cast<int64_t>(barPosition) + 32768);
}

int pitchBarPosition(int pitchval) {
    return std::clamp(pitchval, kPitchBarMinimum, kPitchBarMaximum);
}

std::vector<std::string> balloonFontNames(const std::vector<std::string>& families) {
    std::vector<std::string> names;
    for (const std::string& family : families) {
        if (!family.starts_with('@')) {
            names.push_back(family);
        }
    }
    return names;
}

std::optional<std::size_t> firstIndexOf(const std::vector<std::string>& entries,
                                        const std::string& wanted) {
    auto found = std::find(entries.begin(), entries.end(), wanted);
    if (found == entries.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - entries.begin());
}

std::vector<std::string> actionEntries(const std::vector<std::string>& animationNames) {
    std::vector<std::string> entries{"Nothing"};
    entries.insert(entries.end(), animationNames.begin(), animationNames.end());
    return entries;
}

std::vector<std::string> dialListEntries(const std::vector<std::string>& enumerated) {
    return {enumerated.rbegin(), enumerated.rend()};
}

std::string versionBoxText() {
    return std::string(kProductName) + " " + kVersionText;
}

}  // namespace velkora
