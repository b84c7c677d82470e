// The code page 932 codec, both ways. What comes out of code page 932 always goes back in.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = velkora::cp932::toUtf8(bytes);
    if (!velkora::cp932::fromUtf8(text)) {
        std::abort();  // a character read from the code page has no code in it
    }
    velkora::cp932::fromUtf8Lossy(bytes);
    velkora::cp932::fromUtf8(bytes);
    return 0;
}
