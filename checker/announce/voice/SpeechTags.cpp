#include "checker/announce/voice/SpeechTags.h"

#include <charconv>
#include <limits>
#include <optional>

namespace velkora {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

struct Tag {
    std::string_view name;
    std::string_view value;
    std::size_t end = 0;  // index just past the closing backslash
};

// Reads a tag starting at the backslash at `start`; nothing when the text there is no tag.
std::optional<Tag> readTag(std::string_view text, std::size_t start) {
    std::size_t i = start + 1;
    std::size_t nameStart = i;
    while (i < text.size() && isAsciiLetter(text[i])) {
        ++i;
    }
    if (i == nameStart || i >= text.size()) {
        return std::nullopt;
    }
    Tag tag;
    tag.name = text.substr(nameStart, i - nameStart);
    if (text[i] == '\\') {
        tag.end = i + 1;
        return tag;
    }
    if (text[i] != '=') {
        return std::nullopt;
    }
    std::size_t valueStart = ++i;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\\') {
            tag.value = text.substr(valueStart, i - valueStart);
            tag.end = i + 1;
            return tag;
        }
        if (c == '"') {
            // A quoted part runs to the next quote; "" inside it stands for one quote.
            ++i;
            while (true) {
                if (i >= text.size()) {
                    return std::nullopt;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            continue;
        }
        ++i;
    }
    return std::nullopt;
}

std::optional<int> parseRate(std::string_view value) {
    while (!value.empty() && value.front() == ' ') {
        value.remove_prefix(1);
    }
    while (!value.empty() && value.back() == ' ') {
        value.remove_suffix(1);
    }
    if (!value.empty() && value.front() == '+') {
        value.remove_prefix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    long long number = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (end != value.data() + value.size()) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range) {
        number = value.front() == '-' ? std::numeric_limits<long long>::min()
                                      : std::numeric_limits<long long>::max();
    } else if (error != std::errc()) {
        return std::nullopt;
    }
    return clampSpeechRate(number);
}

struct RawPiece {
    std::string text;
    std::optional<int> rate;
};

}  // namespace

int clampSpeechRate(long long rate) {
    if (rate < kMinSpeechRate) {
        return kMinSpeechRate;
    }
    if (rate > kMaxSpeechRate) {
        return kMaxSpeechRate;
    }
    return static_cast<int>(rate);
}

std::vector<SpeechPiece> parseSpeechTags(std::string_view text, int defaultRate) {
    std::vector<RawPiece> raw(1);
    std::optional<int> firstRate;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\\') {
            raw.back().text.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            raw.back().text.push_back('\\');
            i += 2;
            continue;
        }
        std::optional<Tag> tag = readTag(text, i);
        if (!tag) {
            raw.back().text.push_back(c);
            ++i;
            continue;
        }
        i = tag->end;
        if (!equalsIgnoringCase(tag->name, "Spd")) {
            continue;
        }
        std::optional<int> rate = parseRate(tag->value);
        if (!rate) {
            continue;
        }
        if (!firstRate) {
            firstRate = rate;
        }
        raw.push_back(RawPiece{{}, rate});
    }

    int leadingRate = firstRate.value_or(clampSpeechRate(defaultRate));
    std::vector<SpeechPiece> pieces;
    for (RawPiece& piece : raw) {
        if (piece.text.empty()) {
            continue;
        }
        int rate = piece.rate.value_or(leadingRate);
        if (!pieces.empty() && pieces.back().rate == rate) {
            pieces.back().text += piece.text;
        } else {
            pieces.push_back(SpeechPiece{std::move(piece.text), rate});
        }
    }
    return pieces;
}

}  // namespace velkora
