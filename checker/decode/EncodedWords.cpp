#include "checker/decode/EncodedWords.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkora {

namespace {

constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kInvalid = 255;

constexpr std::array<std::uint8_t, 256> makeValueTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& value : table) {
        value = kInvalid;
    }
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    table[static_cast<unsigned char>('=')] = kPad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kValues = makeValueTable();

inline std::uint8_t valueAt(std::string_view encoded, std::size_t index) {
    // A character missing from a short last group counts as padding.
    return index < encoded.size() ? kValues[static_cast<unsigned char>(encoded[index])] : kPad;
}

inline char byteChar(unsigned value) {
    return static_cast<char>(static_cast<unsigned char>(value));
}

}  // namespace

void appendBase64Groups(std::string_view encoded, std::string& out) {
    for (std::size_t i = 0; i < encoded.size(); i += 4) {
        const unsigned w = valueAt(encoded, i);
        const unsigned x = valueAt(encoded, i + 1);
        const unsigned y = valueAt(encoded, i + 2);
        const unsigned z = valueAt(encoded, i + 3);
        if (w == kInvalid || x == kInvalid || y == kInvalid || z == kInvalid || w == kPad) {
            continue;
        }
        if (x == kPad) {
            out += byteChar(w * 4);
            continue;
        }
        out += byteChar(w * 4 + x / 16);
        if (y == kPad) {
            continue;
        }
        out += byteChar((x % 16) * 16 + y / 4);
        if (z == kPad) {
            continue;
        }
        out += byteChar((y % 4) * 64 + z);
    }
}

std::optional<std::string> decodeEncodedWords(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = text.find(kEncodedWordStart, pos);
        if (start == std::string_view::npos) {
            break;
        }
        result.append(text.substr(pos, start - pos));
        const std::size_t begin = start + kEncodedWordStart.size();
        const std::size_t end = text.find(kEncodedWordEnd, begin);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        appendBase64Groups(text.substr(begin, end - begin), result);
        pos = end + kEncodedWordEnd.size();
    }
    result.append(text.substr(pos));
    return result;
}

}  // namespace velkora
