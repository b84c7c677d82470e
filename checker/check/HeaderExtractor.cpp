#include "checker/check/HeaderExtractor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "checker/decode/HeaderFields.h"
#include "checker/decode/HeaderText.h"
#include "checker/decode/LegacyText.h"
#include "checker/decode/MimeBody.h"
#include "common/Cp932.h"

namespace velkora {

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";  // U+3000
constexpr auto npos = std::string_view::npos;

std::string extractSubject(std::string_view header) {
    const std::optional<RawField> field = findField(header, "Subject");
    if (!field) {
        return {};
    }
    // TABs go before decoding: a TAB fold may even fall inside an encoded word.
    const std::string value = unfoldValue(field->value, true);
    if (field->complete) {
        return decodeHeaderText(value);
    }
    // The reply was cut inside the subject. An encoded word may be cut too, so only the text
    // before the first one is shown, as it is; a subject without one is still plain text.
    const std::size_t word = findEncodedWordStart(value);
    if (word == npos) {
        return decodeHeaderText(value);
    }
    const std::string_view before = std::string_view(value).substr(0, word);
    return isValidUtf8(before) ? std::string(before) : cp932::toUtf8(before);
}

std::string extractSender(std::string_view header) {
    const std::optional<RawField> field = findField(header, "From");
    return field ? decodeHeaderText(unfoldValue(field->value, true)) : std::string();
}

std::string extractBody(std::string_view header, std::optional<std::string_view> body,
                        std::string_view notstr) {
    if (!body) {
        return {};
    }
    if (isMimeHeader(header)) {
        return stripNotstr(mimeBodyText(header, *body), notstr);
    }
    return stripNotstr(legacyTextToUtf8(*body), notstr);
}

// One UTF-8 character at `pos`: its code point and length. A malformed byte counts as a
// character of its own, with a value outside Unicode so that it only matches itself.
struct Utf8Char {
    char32_t code;
    std::size_t length;
};

Utf8Char utf8CharAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    const Utf8Char malformed{0x110000u + lead, 1};
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return malformed;
    }
    if (pos + length > text.size()) {
        return malformed;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) {
            return malformed;
        }
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return malformed;
    }
    return {code, length};
}

}  // namespace

std::string stripNotstr(std::string_view body, std::string_view notstr) {
    std::array<bool, 128> removedAscii{};
    std::vector<char32_t> removedOthers;
    for (std::size_t pos = 0; pos < notstr.size();) {
        const Utf8Char c = utf8CharAt(notstr, pos);
        if (c.code < 128) {
            removedAscii[c.code] = true;
        } else {
            removedOthers.push_back(c.code);
        }
        pos += c.length;
    }
    std::sort(removedOthers.begin(), removedOthers.end());

    std::string out;
    out.reserve(body.size() + body.size() / 2);
    // Kept characters are copied in runs; a run ends at a removed character or a line break.
    std::size_t runStart = 0;
    const auto flush = [&](std::size_t runEnd) {
        out.append(body.substr(runStart, runEnd - runStart));
    };
    for (std::size_t pos = 0; pos < body.size();) {
        const auto byte = static_cast<unsigned char>(body[pos]);
        Utf8Char c{byte, 1};
        bool removed = false;
        if (byte < 0x80) {
            removed = removedAscii[byte];
        } else {
            c = utf8CharAt(body, pos);
            removed = !removedOthers.empty() &&
                      std::binary_search(removedOthers.begin(), removedOthers.end(), c.code);
        }
        if (removed) {
            flush(pos);
            runStart = pos + c.length;
        } else if (c.code == U'\n') {
            flush(pos);
            runStart = pos;
            // Removal comes first, so a CR and an LF that become neighbours form a line break.
            // The replacement never ends in CR, so a CR at the end of `out` is a real one.
            if (!out.empty() && out.back() == '\r') {
                out.pop_back();
                out.append(kIdeographicSpace);
                runStart = pos + 1;
            }
        }
        pos += c.length;
    }
    flush(body.size());
    return out;
}

void extractHeaders(std::string_view collected, int16_t accountNumber, const AppSettings& settings,
                    MailList& list) {
    // Fields are taken from the header section alone, where their names begin lines.
    const HeaderAndBody message = splitMessage(collected);
    MailHeaderEntry entry;
    entry.sender = extractSender(message.header);
    entry.subject = extractSubject(message.header);
    entry.accountNumber = accountNumber;
    entry.body = extractBody(message.header, message.body, settings.Notstr);

    AccountColours colours;
    if (accountNumber >= 0 &&
        static_cast<std::size_t>(accountNumber) < settings.accountColours.size()) {
        colours = settings.accountColours[static_cast<std::size_t>(accountNumber)];
    }
    list.addRow(entry, colours);
}

}  // namespace velkora
