#include "checker/decode/HeaderText.h"

#include <optional>
#include <vector>

#include "checker/decode/Charset.h"
#include "checker/decode/EncodedWords.h"
#include "checker/decode/LegacyText.h"
#include "checker/decode/TransferDecoding.h"

namespace velkora {

namespace {

constexpr auto npos = std::string_view::npos;
// RFC 2047 allows 75 characters for a whole word; a longer charset name is no word.
constexpr std::size_t kLongestCharset = 75;

struct WordHead {
    std::size_t textBegin;  // after "=?charset?X?"
    std::string_view charset;
    char encoding;  // 'B' or 'Q'
};

// The head of an encoded word starting at `start` ("=?" there), or nothing.
std::optional<WordHead> parseWordHead(std::string_view value, std::size_t start) {
    const std::size_t charsetBegin = start + 2;
    const std::size_t limit = std::min(value.size(), charsetBegin + kLongestCharset + 1);
    std::size_t question = charsetBegin;
    while (question < limit && value[question] != '?') {
        ++question;
    }
    if (question == charsetBegin || question >= limit || question + 2 >= value.size() ||
        value[question + 2] != '?') {
        return std::nullopt;
    }
    const char encoding = value[question + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q') {
        return std::nullopt;
    }
    return WordHead{question + 3, value.substr(charsetBegin, question - charsetBegin),
                    static_cast<char>(encoding & ~0x20)};
}

struct Word {
    std::size_t begin;  // at "=?"
    std::size_t end;    // after "?="
    std::string charset;
    std::string bytes;
};

// Every encoded word of the value, left to right. The text of a word ends at its first "?":
// neither Base64 nor Q text holds one. A "?" there that is not followed by "=" makes the head
// an ordinary text; no "?" at all means no word can follow anywhere.
std::vector<Word> findWords(std::string_view value) {
    std::vector<Word> words;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = value.find("=?", pos);
        if (start == npos) {
            break;
        }
        const std::optional<WordHead> head = parseWordHead(value, start);
        if (!head) {
            pos = start + 1;
            continue;
        }
        const std::size_t textEnd = value.find('?', head->textBegin);
        if (textEnd == npos) {
            break;
        }
        if (textEnd + 1 >= value.size() || value[textEnd + 1] != '=') {
            pos = start + 1;
            continue;
        }
        const std::string_view text = value.substr(head->textBegin, textEnd - head->textBegin);
        Word word{start, textEnd + 2, normalizedCharset(head->charset), {}};
        if (head->encoding == 'B') {
            appendBase64Groups(text, word.bytes);
        } else {
            word.bytes = decodeQuotedPrintable(text, QuotedPrintable::EncodedWord);
        }
        words.push_back(std::move(word));
        pos = textEnd + 2;
    }
    return words;
}

bool isLinearWhitespace(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == npos;
}

bool hasEightBitByte(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::size_t findEncodedWordStart(std::string_view value) {
    for (std::size_t pos = value.find("=?"); pos != npos; pos = value.find("=?", pos + 1)) {
        if (parseWordHead(value, pos)) {
            return pos;
        }
    }
    return npos;
}

std::string decodeHeaderText(std::string_view value) {
    const std::vector<Word> words = findWords(value);
    const bool rawIsUtf8 = hasEightBitByte(value) && isValidUtf8(value);

    std::string out;
    out.reserve(value.size());
    // ISO-2022-JP words and the raw text around them are converted as one text, as they
    // always were: an escape sequence in one piece may govern the next.
    std::string legacyRun;
    const auto flushLegacy = [&] {
        if (!legacyRun.empty()) {
            out += legacyTextToUtf8(legacyRun);
            legacyRun.clear();
        }
    };
    const auto addRaw = [&](std::string_view raw) {
        if (rawIsUtf8) {
            flushLegacy();
            out += unlabelledTextToUtf8(raw);
        } else {
            legacyRun.append(raw);
        }
    };

    std::size_t pos = 0;
    for (std::size_t i = 0; i < words.size();) {
        const std::string_view before = value.substr(pos, words[i].begin - pos);
        if (i == 0 || !isLinearWhitespace(before)) {
            addRaw(before);
        }
        // Adjacent words of one charset are converted together.
        std::string bytes = words[i].bytes;
        std::size_t last = i;
        while (last + 1 < words.size() && words[last + 1].charset == words[i].charset &&
               isLinearWhitespace(
                   value.substr(words[last].end, words[last + 1].begin - words[last].end))) {
            ++last;
            bytes += words[last].bytes;
        }
        if (isLegacyCharset(words[i].charset) && !rawIsUtf8) {
            legacyRun += bytes;
        } else {
            flushLegacy();
            out += charsetTextToUtf8(bytes, words[i].charset);
        }
        pos = words[last].end;
        i = last + 1;
    }
    addRaw(value.substr(pos));
    flushLegacy();
    return out;
}

}  // namespace velkora
