#include "character/BalloonText.h"

#include <optional>

#include "character/SpeechTag.h"

namespace velkora {

namespace {

// The second quoted part of \Map="spoken"="shown"\, with "" read as one quote.
std::string mapShownText(std::string_view value) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '"') {
            continue;
        }
        std::string part;
        ++i;
        while (i < value.size()) {
            if (value[i] == '"') {
                if (i + 1 < value.size() && value[i + 1] == '"') {
                    part.push_back('"');
                    i += 2;
                    continue;
                }
                break;
            }
            part.push_back(value[i++]);
        }
        parts.push_back(std::move(part));
    }
    return parts.size() >= 2 ? parts[1] : std::string();
}

enum class Script { Space, Punctuation, Kanji, Hiragana, Katakana, Latin, Other };

Script scriptOf(char32_t c) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x3000) {
        return Script::Space;
    }
    if (c < 0x80) {
        const bool alphanumeric =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        return alphanumeric ? Script::Latin : Script::Punctuation;
    }
    if (c == 0x30FC || (c >= 0x30A0 && c <= 0x30FF) || (c >= 0xFF66 && c <= 0xFF9F)) {
        return Script::Katakana;
    }
    if (c >= 0x3040 && c <= 0x309F) {
        return Script::Hiragana;
    }
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || c == 0x3005 ||
        (c >= 0xF900 && c <= 0xFAFF)) {
        return Script::Kanji;
    }
    if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) ||
        (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0xC0 && c < 0x250)) {
        return Script::Latin;
    }
    if ((c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F) ||
        (c >= 0x2000 && c <= 0x206F)) {
        return Script::Punctuation;
    }
    return Script::Other;
}

// Decodes one UTF-8 character at i; malformed bytes count as one character each.
char32_t decode(std::string_view text, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int length = byte < 0x80         ? 1
                       : (byte >> 5) == 6  ? 2
                       : (byte >> 4) == 14 ? 3
                       : (byte >> 3) == 30 ? 4
                                           : 1;
    if (length == 1 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return byte;
    }
    char32_t c = byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        c = (c << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return c;
}

bool startsWord(Script previous, Script current) {
    if (current == Script::Space || current == Script::Punctuation) {
        return false;
    }
    if (previous == Script::Space || previous == Script::Punctuation) {
        return true;
    }
    return previous != current && !(previous == Script::Kanji && current == Script::Hiragana);
}

}  // namespace

std::string balloonText(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\\') {
            out.push_back(text[i++]);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out.push_back('\\');
            i += 2;
            continue;
        }
        const std::optional<SpeechTag> tag = readSpeechTag(text, i);
        if (!tag) {
            out.push_back(text[i++]);
            continue;
        }
        if (isSpeechTagNamed(*tag, "Map")) {
            out += mapShownText(tag->value);
        }
        i = tag->end;
    }
    // The checker puts its speed tag after a space; the balloon has no use for the space.
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) {
        out.pop_back();
    }
    return out;
}

BalloonReveal::BalloonReveal(std::string text) : text_(std::move(text)) {
    std::size_t i = 0;
    Script previous = Script::Space;
    while (i < text_.size()) {
        const std::size_t start = i;
        const Script current = scriptOf(decode(text_, i));
        if (start > 0 && startsWord(previous, current)) {
            wordEnds_.push_back(start);
            wordEndCharacters_.push_back(characters_);
        }
        ++characters_;
        previous = current;
    }
    wordEnds_.push_back(text_.size());
    wordEndCharacters_.push_back(characters_);
}

std::size_t BalloonReveal::visibleBytes(double progress) const {
    if (!(progress > 0)) {
        return 0;
    }
    if (progress >= 1) {
        return text_.size();
    }
    // The character being spoken, and every word up to the one that holds it.
    const auto index = static_cast<std::size_t>(progress * static_cast<double>(characters_));
    std::size_t end = text_.size();
    for (std::size_t w = 0; w < wordEnds_.size(); ++w) {
        if (wordEndCharacters_[w] > index) {
            end = wordEnds_[w];
            break;
        }
    }
    while (end > 0 && (text_[end - 1] == ' ' || text_[end - 1] == '\t' || text_[end - 1] == '\n')) {
        --end;
    }
    return end;
}

}  // namespace velkora
