#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace velkora {

// One speech output tag in a text the character speaks: \Name\ or \Name=value\.
struct SpeechTag {
    std::string_view name;
    std::string_view value;
    std::size_t end = 0;  // index just past the closing backslash
};

// The tag that opens at the backslash at `start`, or nothing when the text there is no
// complete tag. Quoted parts of a value may hold backslashes; "" inside them is one quote.
std::optional<SpeechTag> readSpeechTag(std::string_view text, std::size_t start);

// Tag names are matched without regard to ASCII case.
bool isSpeechTagNamed(const SpeechTag& tag, std::string_view name);

}  // namespace velkora
