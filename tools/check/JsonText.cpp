#include "tools/check/JsonText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace velkora {

namespace {

// The length of the valid UTF-8 character at text[at], or 0 when none starts there.
std::size_t characterLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no characters.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

void appendEscape(std::string& out, unsigned code) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
    out += escaped;
}

}  // namespace

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::size_t length = characterLength(utf8, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        const auto c = static_cast<unsigned char>(utf8[at]);
        if (length == 1) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        appendEscape(out, c);
                    } else {
                        out += static_cast<char>(c);
                    }
            }
        } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(utf8[at + 1]) < 0xA0) {
            // C1 controls, U+0080 to U+009F.
            appendEscape(out, static_cast<unsigned char>(utf8[at + 1]));
        } else {
            out.append(utf8.substr(at, length));
        }
        at += length;
    }
    out += '"';
    return out;
}

std::string mailRowJson(const MailRow& row) {
    const auto& cells = row.cells;
    // The account cell is the account's number in decimal (MailList::addRow).
    return "{\"account\": " + cells[MailList::kAccountColumn] +
           ", \"sender\": " + jsonString(cells[MailList::kSenderColumn]) +
           ", \"subject\": " + jsonString(cells[MailList::kSubjectColumn]) +
           ", \"body\": " + jsonString(cells[MailList::kBodyColumn]) + "}";
}

}  // namespace velkora
