#include "checker/announce/voice/SpeechTags.h"

#include <charconv>
#include <limits>
#include <optional>

#include "character/SpeechTag.h"

namespace velkora {

namespace {

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
        std::optional<SpeechTag> tag = readSpeechTag(text, i);
        if (!tag) {
            raw.back().text.push_back(c);
            ++i;
            continue;
        }
        i = tag->end;
        if (!isSpeechTagNamed(*tag, "Spd")) {
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
