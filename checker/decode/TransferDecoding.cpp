#include "checker/decode/TransferDecoding.h"

#include <cstddef>

#include "checker/decode/EncodedWords.h"
#include "common/HexDigit.h"

namespace velkora {

namespace {

bool isBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

// Position after a soft line break that starts with the "=" at `pos`, or `pos` when the "="
// is not one: only spaces and TABs may stand between it and the line end.
std::size_t afterSoftBreak(std::string_view text, std::size_t pos) {
    std::size_t i = pos + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i == text.size()) {
        return i;  // "=" at the very end: the line goes on beyond what arrived
    }
    if (text[i] == '\n') {
        return i + 1;
    }
    if (text[i] == '\r') {
        return i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
    }
    return pos;
}

}  // namespace

std::string decodeBase64Body(std::string_view encoded) {
    std::string alphabetOnly;
    alphabetOnly.reserve(encoded.size());
    for (char c : encoded) {
        if (isBase64Character(c)) {
            alphabetOnly += c;
        }
    }
    std::string out;
    out.reserve(alphabetOnly.size() / 4 * 3 + 3);
    appendBase64Groups(alphabetOnly, out);
    return out;
}

std::string decodeQuotedPrintable(std::string_view encoded, QuotedPrintable form) {
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t pos = 0; pos < encoded.size();) {
        const char c = encoded[pos];
        if (c == '_' && form == QuotedPrintable::EncodedWord) {
            out += ' ';
            ++pos;
            continue;
        }
        if (c != '=') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 2 < encoded.size() && hexDigitValue(encoded[pos + 1]) >= 0 &&
            hexDigitValue(encoded[pos + 2]) >= 0) {
            out += static_cast<char>(hexDigitValue(encoded[pos + 1]) * 16 +
                                     hexDigitValue(encoded[pos + 2]));
            pos += 3;
            continue;
        }
        if (form == QuotedPrintable::Body) {
            const std::size_t next = afterSoftBreak(encoded, pos);
            if (next != pos) {
                pos = next;
                continue;
            }
        }
        out += c;
        ++pos;
    }
    return out;
}

}  // namespace velkora
