#include "checker/decode/LegacyText.h"

#include <algorithm>
#include <cstddef>

#include "checker/decode/JisConversion.h"
#include "common/Cp932.h"

namespace velkora {

namespace {

bool hasEightBitByte(std::string_view text) {
    unsigned char highBits = 0;
    for (char c : text) {
        highBits |= static_cast<unsigned char>(c);
    }
    return highBits >= 0x80;
}

// Each character goes to code page 932 and back: characters of the code page stay, NUL goes,
// a byte sequence that is no character of it becomes '?'. Returns `text` itself when nothing
// changes, which is the rule for 7-bit mail without NUL; `storage` holds any other result.
std::string_view codePagePass(std::string_view text, std::string& storage) {
    if (!hasEightBitByte(text)) {
        // Every 7-bit byte but NUL is a character of the code page and comes back as it was.
        if (text.find('\0') == std::string_view::npos) {
            return text;
        }
        storage.assign(text);
        storage.erase(std::remove(storage.begin(), storage.end(), '\0'), storage.end());
        return storage;
    }
    std::string unicode = cp932::toUtf8(text);
    unicode.erase(std::remove(unicode.begin(), unicode.end(), '\0'), unicode.end());
    storage = cp932::fromUtf8Lossy(unicode);
    return storage;
}

// Length of the well-formed UTF-8 sequence at `pos`, or 0.
std::size_t utf8Length(std::string_view s, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char min = 0x80;
    unsigned char max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        max = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = lead == 0xF0 ? 0x90 : 0x80;
        max = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - pos < length || byte(1) < min || byte(1) > max) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Length of a UTF-8 sequence cut short at the end of `s` (a lead byte and fewer continuation
// bytes than it announces), or 0.
std::size_t cutUtf8Tail(std::string_view s) {
    for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
        const auto byte = static_cast<unsigned char>(s[s.size() - back]);
        if ((byte & 0xC0u) == 0x80u) {
            continue;  // a continuation byte: look further back for the lead
        }
        const std::size_t wanted = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return wanted > back ? back : 0;
    }
    return 0;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8Length(text, pos);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string legacyTextToUtf8(std::string_view raw) {
    std::string storage;
    return cp932::toUtf8(convertIso2022JpText(codePagePass(raw, storage)));
}

std::string unlabelledTextToUtf8(std::string_view raw, TextEnd end) {
    std::string_view whole = raw;
    if (end == TextEnd::MayBeCut) {
        whole = raw.substr(0, raw.size() - cutUtf8Tail(raw));
    }
    if (hasEightBitByte(whole) && isValidUtf8(whole)) {
        std::string text(whole);
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        return text;
    }
    return legacyTextToUtf8(raw);
}

}  // namespace velkora
