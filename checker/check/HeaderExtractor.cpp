#include "checker/check/HeaderExtractor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "checker/decode/EncodedWords.h"
#include "checker/decode/JisConversion.h"
#include "common/Cp932.h"

namespace velkora {

namespace {

constexpr std::string_view kSubjectName = "SUBJECT:";
constexpr std::string_view kFromName = "FROM:";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";  // U+3000
constexpr auto npos = std::string_view::npos;

inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// First occurrence of the upper-case `needle` in `text` compared as if `text` were upper-cased
// (ASCII letters only: the names and the marker are ASCII), at or after `from`.
std::size_t findIgnoringCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (needle.size() > text.size()) {
        return npos;
    }
    const std::size_t last = text.size() - needle.size();
    for (std::size_t pos = from; pos <= last; ++pos) {
        if (asciiUpper(text[pos]) != needle[0]) {
            continue;
        }
        std::size_t i = 1;
        while (i < needle.size() && asciiUpper(text[pos + i]) == needle[i]) {
            ++i;
        }
        if (i == needle.size()) {
            return pos;
        }
    }
    return npos;
}

// Drops every CR LF pair, then every TAB.
std::string withoutLineBreaksAndTabs(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        joined += text[i];
    }
    joined.erase(std::remove(joined.begin(), joined.end(), '\t'), joined.end());
    return joined;
}

// Each character goes to code page 932 and back: characters of the code page stay, NUL goes,
// a byte sequence that is no character of it becomes '?'. Returns `text` itself when nothing
// changes, which is the rule for 7-bit mail without NUL; `storage` holds any other result.
std::string_view codePagePass(std::string_view text, std::string& storage) {
    unsigned char highBits = 0;
    for (char c : text) {
        highBits |= static_cast<unsigned char>(c);
    }
    if (highBits < 0x80) {
        // Every 7-bit byte but NUL is a character of the code page and comes back as it was.
        if (text.find('\0') == npos) {
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

// Code-page pass and ISO-2022-JP conversion of raw bytes, then to UTF-8.
std::string convertToUtf8(std::string_view raw) {
    std::string storage;
    return cp932::toUtf8(convertIso2022JpText(codePagePass(raw, storage)));
}

// Decodes a sender or subject value: every encoded word, its marker found in any letter case,
// is replaced by its bytes; the text around and between words stays. A word whose "?=" never
// comes is shown as written, and so is everything after it.
std::string decodeValue(std::string_view value) {
    std::string decoded;
    decoded.reserve(value.size());
    std::string word;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = findIgnoringCase(value, kEncodedWordStart, pos);
        if (start == npos) {
            break;
        }
        const std::size_t textBegin = start + kEncodedWordStart.size();
        const std::size_t end = value.find(kEncodedWordEnd, textBegin);
        if (end == npos) {
            break;
        }
        decoded.append(value.substr(pos, start - pos));
        word.assign(kEncodedWordStart);
        word.append(value.substr(textBegin, end - textBegin));
        word.append(kEncodedWordEnd);
        if (auto bytes = decodeEncodedWords(word)) {
            decoded += *bytes;
        } else {
            // Cannot happen for a word cut at its own end marker; keep it readable anyway.
            decoded.append(value.substr(start, end + kEncodedWordEnd.size() - start));
        }
        pos = end + kEncodedWordEnd.size();
    }
    decoded.append(value.substr(pos));
    return convertToUtf8(decoded);
}

std::string extractSubject(std::string_view collected) {
    const std::size_t name = findIgnoringCase(collected, kSubjectName);
    if (name == npos) {
        return {};
    }
    const std::string_view value = collected.substr(name + kSubjectName.size());
    std::size_t cursor = 0;
    for (;;) {
        const std::size_t lineEnd = value.find(kCrLf, cursor);
        if (lineEnd == npos) {
            break;
        }
        const std::size_t next = lineEnd + kCrLf.size();
        if (next < value.size() && value[next] == '\t') {
            cursor = next;
            continue;
        }
        return decodeValue(withoutLineBreaksAndTabs(value.substr(0, lineEnd)));
    }
    // The reply was cut inside the subject. An encoded word may be cut too, so only the text
    // before the first one is shown, as it is; a subject without one is still plain text.
    const std::size_t marker = findIgnoringCase(value, kEncodedWordStart);
    if (marker != npos) {
        return cp932::toUtf8(withoutLineBreaksAndTabs(value.substr(0, marker)));
    }
    return decodeValue(withoutLineBreaksAndTabs(value));
}

std::string extractSender(std::string_view collected) {
    const std::size_t name = findIgnoringCase(collected, kFromName);
    if (name == npos) {
        return {};
    }
    const std::string_view value = collected.substr(name + kFromName.size());
    return decodeValue(value.substr(0, value.find(kCrLf)));
}

std::string extractBody(std::string_view collected, std::string_view notstr) {
    const std::size_t headerEnd = collected.find(kHeaderEnd);
    if (headerEnd == npos) {
        return {};
    }
    return stripNotstr(convertToUtf8(collected.substr(headerEnd + kCrLf.size())), notstr);
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
    MailHeaderEntry entry;
    entry.sender = extractSender(collected);
    entry.subject = extractSubject(collected);
    entry.accountNumber = accountNumber;
    entry.body = extractBody(collected, settings.Notstr);

    AccountColours colours;
    if (accountNumber >= 0 &&
        static_cast<std::size_t>(accountNumber) < settings.accountColours.size()) {
        colours = settings.accountColours[static_cast<std::size_t>(accountNumber)];
    }
    list.addRow(entry, colours);
}

}  // namespace velkora
