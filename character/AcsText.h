#pragma once

#include <string>
#include <string_view>

namespace velkora {

// The file's UTF-16 texts and our UTF-8: unpaired surrogates and malformed UTF-8 become
// U+FFFD rather than failing, so a name never stops a file from loading.
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace velkora
