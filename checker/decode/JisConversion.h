#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// Switches into JIS X 0208 (two bytes per character).
inline constexpr std::string_view kJisStartSequence = "\x1b$B";
// Switch back to ASCII, resp. to JIS X 0201 Roman; either closes a two-byte run.
inline constexpr std::string_view kJisAsciiEnd = "\x1b(B";
inline constexpr std::string_view kJisRomanEnd = "\x1b(J";

// ISO-2022-JP text to Shift_JIS: closes runs at ESC "(B" when the text holds that sequence
// anywhere (exact case), at ESC "(J" otherwise.
std::string convertIso2022JpText(std::string_view text);

// Converts every run between a start sequence and the first `endSequence` after it (to the end
// of the text when none follows) pair by pair; text outside runs is copied. The last character
// of both sequences is matched ignoring ASCII letter case. A run of odd length loses its last
// byte. The result is cut before its first NUL byte.
std::string convertJisText(std::string_view text, std::string_view endSequence);

// One JIS X 0208 position to its Shift_JIS bytes by arithmetic alone (no table): a pair holding
// a control byte comes back unchanged, a pair outside rows 1..94 / cells 1..94 yields nothing.
std::optional<std::array<std::uint8_t, 2>> jisPairToSjis(std::uint8_t first, std::uint8_t second);

}  // namespace velkora
