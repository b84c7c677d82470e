#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkora {

// The text of an unfolded header field value as a mail reader shows it (RFC 2047), in UTF-8:
// - encoded words "=?charset?B?...?=" and "=?charset?Q?...?=" in any charset iconv knows,
//   markers in any letter case, are decoded, also where no space separates them from text;
// - whitespace between two adjacent encoded words is dropped, and the bytes of adjacent words
//   of one charset are joined before conversion, so a character split between them is whole;
// - ISO-2022-JP words and the raw text around them take the old mail's path together
//   (legacyTextToUtf8), exactly as mail of that kind always read;
// - raw 8-bit text that is valid UTF-8 is taken as UTF-8;
// - a word without its "?=" is shown as written, and so is everything after it.
std::string decodeHeaderText(std::string_view value);

// Position of the first "=?charset?X?" that begins an encoded word (X being B or Q), or npos.
std::size_t findEncodedWordStart(std::string_view value);

}  // namespace velkora
