#include "character/CharacterOptions.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace velkora {

namespace {

std::optional<int> number(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char a = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (a != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CharacterOptions CharacterOptions::load(const SettingsStore& store) {
    CharacterOptions options;
    if (auto v = number(store.find(kBalloonKey))) {
        options.balloon = *v != 0;
    }
    if (auto v = number(store.find(kVoiceKey))) {
        options.voice = *v != 0;
    }
    if (auto v = number(store.find(kSpeedKey))) {
        options.speedPercent = std::clamp(*v, kMinSpeed, kMaxSpeed);
    }
    return options;
}

void CharacterOptions::save(SettingsStore& store) const {
    store.write(kBalloonKey, balloon ? "1" : "0");
    store.write(kVoiceKey, voice ? "1" : "0");
    store.write(kSpeedKey, std::to_string(std::clamp(speedPercent, kMinSpeed, kMaxSpeed)));
}

std::string scaleSpeechSpeed(std::string_view text, int percent, int defaultRate) {
    if (percent == 100) {
        return std::string(text);
    }
    const auto scaled = [percent](long long rate) {
        return std::to_string(std::clamp<long long>(rate * percent / 100, 1, 10000));
    };
    std::string out;
    bool tagged = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += "\\\\";
            i += 2;
            continue;
        }
        if (text[i] == '\\' && startsWithIgnoringCase(text.substr(i + 1), "spd=")) {
            const std::size_t close = text.find('\\', i + 5);
            long long rate = 0;
            const char* first = text.data() + i + 5;
            const char* last = close == std::string_view::npos ? first : text.data() + close;
            const auto [end, error] = std::from_chars(first, last, rate);
            if (close != std::string_view::npos && error == std::errc() && end == last) {
                out += "\\Spd=" + scaled(rate) + "\\";
                tagged = true;
                i = close + 1;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    if (!tagged) {
        out += " \\Spd=" + scaled(defaultRate) + "\\";
    }
    return out;
}

}  // namespace velkora
