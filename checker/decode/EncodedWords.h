#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// The only encoded-word form that mail of our setting uses: ISO-2022-JP text in Base64.
inline constexpr std::string_view kEncodedWordStart = "=?ISO-2022-JP?B?";
inline constexpr std::string_view kEncodedWordEnd = "?=";

// Replaces every encoded word (upper-case start marker, exact match) by the bytes its Base64
// text stands for; everything else is copied byte for byte. Empty when a start marker has no
// end marker after it.
std::optional<std::string> decodeEncodedWords(std::string_view text);

// Decodes Base64 text group by group (four characters each, the last one possibly shorter)
// and appends the bytes to `out`. Padding ends only its own group. A group that holds a
// character that is neither in the alphabet nor "=" yields no bytes, so stray characters
// never turn into made-up bytes; the groups after it decode as usual.
void appendBase64Groups(std::string_view encoded, std::string& out);

}  // namespace velkora
