// The file of kept replies as a damaged or forged file may hold it: it is read whole or not at
// all. What is read prints back to the very same text, and any entry lines that read, put into
// a file of their own, read back as the same entries.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "checker/net/ReplyCacheFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velkora;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto entries = replycache::parse(text)) {
        if (replycache::print(*entries) != text) {
            std::abort();
        }
    }
    // The checksum keeps almost every input from reaching the entries: they are read alone too.
    if (const auto entries = replycache::parseEntries(text)) {
        const auto again = replycache::parse(replycache::print(*entries));
        if (!again || *again != *entries) {
            std::abort();
        }
    }
    return 0;
}
