#pragma once

#include <string>
#include <string_view>

#include "checker/decode/LegacyText.h"

namespace velkora {

// Text in the MIME charset `charset` (any letter case, an RFC 2231 language suffix "*ja"
// allowed) to UTF-8, without NUL characters:
// - ISO-2022-JP and the Shift_JIS names (under which mailers write code page 932) go the way
//   of the old Japanese mail (legacyTextToUtf8), exactly as such mail always read;
// - unlabelled text ("", "us-ascii") and charsets that iconv does not know follow the rule for
//   raw text (unlabelledTextToUtf8);
// - any other name goes to iconv; a byte sequence that is no character there becomes '?'.
std::string charsetTextToUtf8(std::string_view bytes, std::string_view charset,
                              TextEnd end = TextEnd::Complete);

// The charset name without its language suffix, in lower case: the key by which two encoded
// words are of the same charset.
std::string normalizedCharset(std::string_view charset);

// True for the charsets whose text takes the old mail's path (see above).
bool isLegacyCharset(std::string_view normalized);

}  // namespace velkora
