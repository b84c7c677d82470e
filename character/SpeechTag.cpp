#include "character/SpeechTag.h"

namespace velkora {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<SpeechTag> readSpeechTag(std::string_view text, std::size_t start) {
    std::size_t i = start + 1;
    const std::size_t nameStart = i;
    while (i < text.size() && isAsciiLetter(text[i])) {
        ++i;
    }
    if (i == nameStart || i >= text.size()) {
        return std::nullopt;
    }
    SpeechTag tag;
    tag.name = text.substr(nameStart, i - nameStart);
    if (text[i] == '\\') {
        tag.end = i + 1;
        return tag;
    }
    if (text[i] != '=') {
        return std::nullopt;
    }
    // A doubled quote inside a quoted part toggles twice, so it never ends the part.
    const std::size_t valueStart = ++i;
    bool quoted = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == '\\' && !quoted) {
            tag.value = text.substr(valueStart, i - valueStart);
            tag.end = i + 1;
            return tag;
        }
    }
    return std::nullopt;
}

bool isSpeechTagNamed(const SpeechTag& tag, std::string_view name) {
    if (tag.name.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (asciiLower(tag.name[i]) != asciiLower(name[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace velkora
