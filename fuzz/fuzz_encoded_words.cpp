// Header text: MIME encoded words (RFC 2047) of every charset and Base64.

#include <cstdint>
#include <string>
#include <string_view>

#include "checker/decode/EncodedWords.h"
#include "checker/decode/HeaderText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velkora::decodeEncodedWords(text);
    velkora::decodeHeaderText(text);
    std::string bytes;
    velkora::appendBase64Groups(text, bytes);
    return 0;
}
