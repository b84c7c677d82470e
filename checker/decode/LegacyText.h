#pragma once

#include <string>
#include <string_view>

namespace velkora {

// Whether the text ends where it was written or may be cut short (a body as far as the TOP
// reply holds it): a character cut in two at the end is then dropped instead of shown as '?'.
enum class TextEnd { Complete, MayBeCut };

// Text of the old Japanese mail to UTF-8: each character passes through code page 932 and
// back (NUL goes, a byte sequence that is no character of it becomes '?'), ISO-2022-JP runs
// become Shift_JIS, and the Shift_JIS result is read as code page 932. 7-bit text, 8-bit
// Shift_JIS and raw ISO-2022-JP all come out readable.
std::string legacyTextToUtf8(std::string_view raw);

// Text whose bytes name no character set (raw 8-bit header text, an unknown or missing
// charset): valid UTF-8 that holds an 8-bit byte is taken as UTF-8 (without NUL), anything
// else as the old mail text above.
std::string unlabelledTextToUtf8(std::string_view raw, TextEnd end = TextEnd::Complete);

// True when `text` is well-formed UTF-8 (7-bit text included).
bool isValidUtf8(std::string_view text);

}  // namespace velkora
