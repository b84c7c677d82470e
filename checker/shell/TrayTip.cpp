#include "checker/shell/TrayTip.h"

#include "common/Cp932.h"

namespace velkora {

namespace {

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead < 0xF0 ? 3 : 1;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

}  // namespace

std::string cutTrayTip(std::string_view utf8) {
    std::size_t bytes = 0;
    std::size_t kept = 0;
    while (kept < utf8.size()) {
        std::size_t length = sequenceLength(static_cast<unsigned char>(utf8[kept]));
        if (kept + length > utf8.size()) {
            length = utf8.size() - kept;
        }
        std::size_t codeBytes = cp932::fromUtf8Lossy(utf8.substr(kept, length)).size();
        if (bytes + codeBytes > kTrayTipBytes) {
            break;
        }
        bytes += codeBytes;
        kept += length;
    }
    return std::string(utf8.substr(0, kept));
}

}  // namespace velkora
