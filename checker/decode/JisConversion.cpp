#include "checker/decode/JisConversion.h"

#include <cstddef>
#include <cstring>

namespace velkora {

namespace {

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// First occurrence of `sequence` at or after `from`, its last character compared without
// regard to letter case. An empty sequence is found where the search starts.
std::size_t findSequence(std::string_view text, std::size_t from, std::string_view sequence) {
    if (sequence.empty()) {
        return from;
    }
    const std::size_t length = sequence.size();
    const char lastLower = asciiLower(sequence.back());
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t pos = from;
    while (pos + length <= size) {
        // The sequences start with ESC, which is rare in mail text: skip to it directly.
        const void* hit = std::memchr(data + pos, sequence.front(), size - length + 1 - pos);
        if (hit == nullptr) {
            return std::string_view::npos;
        }
        pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (std::memcmp(data + pos, sequence.data(), length - 1) == 0 &&
            asciiLower(data[pos + length - 1]) == lastLower) {
            return pos;
        }
        ++pos;
    }
    return std::string_view::npos;
}

inline void appendPair(std::uint8_t first, std::uint8_t second, std::string& out) {
    if (auto bytes = jisPairToSjis(first, second)) {
        out += static_cast<char>((*bytes)[0]);
        out += static_cast<char>((*bytes)[1]);
    }
}

}  // namespace

std::optional<std::array<std::uint8_t, 2>> jisPairToSjis(std::uint8_t first, std::uint8_t second) {
    if (first < 0x20 || second < 0x20) {
        return std::array<std::uint8_t, 2>{first, second};
    }
    const int row = first - 32;
    int cell = second - 32;
    if (row < 1 || row > 94 || cell > 94) {
        return std::nullopt;
    }
    if (row % 2 == 0) {
        cell += 94;
    }
    const int r = (row - 1) / 2;
    const int lead = r <= 30 ? r + 0x81 : r + 0xC1;
    int trail = 0;
    if (cell >= 1 && cell <= 63) {
        trail = cell + 0x3F;
    } else if (cell >= 64 && cell <= 188) {
        trail = cell + 0x40;
    } else {
        return std::nullopt;
    }
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(lead),
                                       static_cast<std::uint8_t>(trail)};
}

std::string convertJisText(std::string_view text, std::string_view endSequence) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = findSequence(text, pos, kJisStartSequence);
        if (start == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, start - pos));
        const std::size_t segmentBegin = start + kJisStartSequence.size();
        const std::size_t end = findSequence(text, segmentBegin, endSequence);
        const std::size_t segmentEnd = end == std::string_view::npos ? text.size() : end;
        for (std::size_t i = segmentBegin; i + 1 < segmentEnd; i += 2) {
            appendPair(static_cast<std::uint8_t>(text[i]), static_cast<std::uint8_t>(text[i + 1]),
                       out);
        }
        pos = end == std::string_view::npos ? text.size() : end + endSequence.size();
    }
    if (pos < text.size()) {
        out.append(text.substr(pos));
    }
    if (const std::size_t nul = out.find('\0'); nul != std::string::npos) {
        out.resize(nul);
    }
    return out;
}

std::string convertIso2022JpText(std::string_view text) {
    const bool closesWithAscii = text.find(kJisAsciiEnd) != std::string_view::npos;
    return convertJisText(text, closesWithAscii ? kJisAsciiEnd : kJisRomanEnd);
}

}  // namespace velkora
