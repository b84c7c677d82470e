#pragma once

#include <string>
#include <string_view>

#include "common/SettingsStore.h"

namespace velkora {

// What the user sets in the character's own options window (its property sheet). Kept in the
// shared store under keys of its own, apart from the checker's and the options program's.
struct CharacterOptions {
    static constexpr const char* kBalloonKey = "CharBalloon";
    static constexpr const char* kVoiceKey = "CharVoice";
    static constexpr const char* kSpeedKey = "CharVoiceSpeed";
    static constexpr int kMinSpeed = 50;
    static constexpr int kMaxSpeed = 200;

    // The word balloon while speaking.
    bool balloon = true;
    // Spoken output; without it the balloon alone shows the text.
    bool voice = true;
    // Speed of speech in percent of the speed that the text asks for.
    int speedPercent = 100;

    // Values that are missing or malformed keep their defaults.
    static CharacterOptions load(const SettingsStore& store);
    // Throws SettingsStoreError when the store cannot be written.
    void save(SettingsStore& store) const;
};

// The text with every \Spd=n\ tag scaled to `percent` of n (and one added for texts without,
// from the default speed), so the user's speed applies on top of the checker's.
std::string scaleSpeechSpeed(std::string_view text, int percent, int defaultRate = 100);

}  // namespace velkora
